"""skimlet as a process in file mode: each event source, the results file checked byte for
byte against an independent writer, and the command line's answers."""
import datetime
import os

import pytest

import skimlet_fixtures as fx
from skimlet_fixtures import Event, definition_lines

D = datetime.datetime
CH1 = 0x00c000010001000a
CH2 = 0x00c0000200020014
CH_NEG = 0x0000000afffffff0   # low 32 bits with the sign bit set


def utf8(raw, codec="latin-1"):
    return raw.decode(codec).encode("utf-8")


class TestPvrDump:
    def events(self):
        return [
            Event(CH1, D(2024, 3, 5, 20, 15), 45, b"Evening News", b"Headlines &amp; weather", b"The news.",
                  eventid=0x1234, content=0x20, sourceflag=1, parental=11, networkid=1, tsid=2, serviceid=3,
                  satindex=4, lang=b"deu", citid=-5, unknown14=0xBEEF, icechannel=77,
                  unknown15=bytes([1, 2, 3, 4, 5, 6]), timezone=60, datastatus=2, runningstatus=4),
            Event(CH2, D(2024, 3, 5, 23, 50), 130, b"Caf\xe9 Society", b"Drama", b"x" * 9000,
                  eventid=7, content=0x41, timezone=120),
            Event(CH_NEG, D(2024, 3, 6, 6, 0), 30, b"\x05Caf\xe9 \xfeNews", b"", b"",
                  eventid=8, content=0x14, timezone=-300),
            Event(CH1, D(2024, 3, 6, 7, 0), 60, b"Weather", b"Nothing to see", b"No news here", eventid=9),
        ]

    def test_results_match_an_independent_writer(self, root):
        events = self.events()
        fx.write_pvr_epg(root, events)
        status, console, records = fx.search_file(root, "pvr", [
            definition_lines("News", [("T", "*news*", 50)]),
            definition_lines("Society", [("T", "société", 50), ("T", "café", 50)]),
        ])
        assert status == 0, console
        assert " Searching PVR EPG Events." in console
        e0, e1, e2, _ = events
        expected = [
            fx.expected_record(e0, 0, 0, b"News", b"Evening News", b"Headlines &amp; weather", b"The news."),
            fx.expected_record(e1, 0, 1, b"Society", utf8(e1.name), b"Drama", b"x" * 8191),
            fx.expected_record(e2, 0, 0, b"News", e2.name[1:].decode("iso8859-9").encode(), b"", b""),
        ]
        path = os.path.join(root, fx.ROOT_FOLDER, "results.epg")
        assert records[0]["name"] == b"Evening News"
        assert records[2]["name"] == "Café şNews".encode()
        assert open(path, "rb").read() == fx.results_bytes(expected)
        assert " Saved 3 EPG events to" in console
        assert "   Match found: 2024/03/05 20:15 'Evening News' [News = 50] (0x20)." in console

    @pytest.mark.parametrize("size,content,unknown15", [(68, False, False), (72, True, False), (0xFFFFFFFF, True, True)])
    def test_structure_size_limits_the_extra_fields(self, root, size, content, unknown15):
        e = self.events()[0]
        fx.write_pvr_epg(root, [e], struct_size=size)
        status, console, records = fx.search_file(root, "pvr", [definition_lines("All", [("T", "news", 50)])])
        assert status == 0 and len(records) == 1, console
        r = records[0]
        assert (r["contentidentifier"], r["sourceflag"], r["unknown14"], r["icechannel"]) == \
            ((0x20, 1, 0xBEEF, 77) if content else (0, 0, 0, 0))
        assert r["unknown15"] == (bytes([1, 2, 3, 4, 5, 6]) if unknown15 else bytes(6))
        assert r["citid"] == -5   # always read

    def test_count_zero_yields_nothing(self, root):
        fx.write_pvr_epg(root, self.events(), count=0)
        status, console, records = fx.search_file(root, "pvr", [definition_lines("All", [("T", "*", 50)])])
        assert status == 0 and records == []

    def test_count_beyond_the_file_ends_cleanly(self, root):
        fx.write_pvr_epg(root, self.events(), count=1000000)
        status, console, records = fx.search_file(root, "pvr", [definition_lines("All", [("T", "*", 50)])])
        assert status == 0, console
        assert [r["eventid"] for r in records] == [0x1234, 7, 8, 9]

    def test_item_length_beyond_the_file_ends_cleanly(self, root):
        data = bytearray(fx.pvr_epg_bytes(self.events()[:1]))
        # the name item's length claims 4 GB
        data[100 + 4:100 + 8] = b"\xff\xff\xff\xff"
        fx.write(root, f"{fx.ROOT_FOLDER}/PVR.epg", bytes(data))
        status, console, records = fx.search_file(root, "pvr", [definition_lines("All", [("T", "*", 50)])])
        assert status == 0 and records == [], console

    def test_missing_dump_is_reported(self, root):
        status, console, records = fx.search_file(root, "pvr", [definition_lines("All", [("T", "*", 50)])])
        assert status == 0
        assert " ERROR - Unable to open '/ProgramFiles/Settings/Orvane/PVR.epg'" in console
        assert records == []


class TestSmartEPG13:
    def events(self):
        return [
            Event(CH1, D(2024, 7, 1, 23, 30), 90, b"N" * 300, b"Late show", b"t" * 9000, eventid=0x12345678,
                  content=0x41, timezone=120),
            Event(CH2, D(2024, 7, 2, 12, 0), 30, "Météo".encode(), b"", b"", eventid=3, content=0x32,
                  timezone=60),
        ]

    def test_results_match_an_independent_writer(self, root):
        events = self.events()
        fx.write_se_v13(root, events)
        status, console, records = fx.search_file(root, "smartepg13", [
            definition_lines("Any", [("B", "*", 50)]),
        ])
        assert status == 0, console
        assert " Searching SmartEPG Events (DB ver 13)." in console
        e0, e1 = events
        expected = [
            fx.expected_record(e0, 1, 0, b"Any", b"N" * 255, b"Late show", b"t" * 8191, content=0x14),
            fx.expected_record(e1, 1, 0, b"Any", e1.name, b"", b"", content=0x23),
        ]
        assert records[0]["endtime"] == fx.packed_date(D(2024, 7, 2, 1, 0))
        assert records[0]["timezone"] == 120
        path = os.path.join(root, fx.ROOT_FOLDER, "results.epg")
        assert open(path, "rb").read() == fx.results_bytes(expected)

    def test_wrong_version_is_refused(self, root):
        db, texts = fx.se_v13_files(self.events())
        fx.write(root, f"{fx.SE_FOLDER}/Event.db", db[:8] + b"\x0f" + db[9:])
        fx.write(root, f"{fx.SE_FOLDER}/EventExtDescr.db", texts)
        status, console, records = fx.search_file(root, "smartepg13", [definition_lines("Any", [("B", "*", 50)])])
        assert status == 0 and records == []
        assert " ERROR - Invalid file type or version." in console

    def test_counts_and_lengths_beyond_the_files_end_cleanly(self, root):
        events = self.events()
        db, texts = fx.se_v13_files(events, count=5000000)
        # the last text claims far more bytes than the file holds
        texts = texts[:-4] + b"\xff\xff\xff\x7f"
        fx.write(root, f"{fx.SE_FOLDER}/Event.db", db)
        fx.write(root, f"{fx.SE_FOLDER}/EventExtDescr.db", texts)
        status, console, records = fx.search_file(root, "smartepg13", [definition_lines("Any", [("B", "*", 50)])])
        assert status == 0, console
        assert len(records) == 2

    def test_missing_text_file(self, root):
        db, _ = fx.se_v13_files(self.events())
        fx.write(root, f"{fx.SE_FOLDER}/Event.db", db)
        status, console, records = fx.search_file(root, "smartepg13", [definition_lines("Any", [("B", "*", 50)])])
        assert status == 0 and records == []
        assert " ERROR - Unable to open '/mnt/hd/ProgramFiles/Settings/SmartEPG_TMS/EventExtDescr.db'" in console


class TestSmartEPG15:
    def events(self):
        return [
            Event(CH1, D(2024, 7, 1, 20, 0), 60, b"Film One", b"A film", b"Long text", eventid=1, content=0x01),
            Event(CH1, D(2024, 7, 1, 21, 0), 60, b"Film Two", b"", b"", eventid=2, content=0x41),
            Event(CH2, D(2024, 7, 1, 20, 0), 45, b"Film Three", b"", b"", eventid=3),
        ]

    def test_all_channels(self, root):
        events = self.events()
        fx.write_se_v15(root, events)
        status, console, records = fx.search_file(root, "smartepg", [definition_lines("Films", [("T", "film", 50)])])
        assert status == 0, console
        assert " Searching SmartEPG Events (DB ver 15)." in console
        got = sorted((r["channel"], r["eventid"], r["name"], r["contentidentifier"]) for r in records)
        assert got == [(CH1, 1, b"Film One", 0x10), (CH1, 2, b"Film Two", 0x14), (CH2, 3, b"Film Three", 0)]
        by_id = {r["eventid"]: r for r in records}
        assert by_id[1]["text"] == b"Long text" and by_id[1]["description"] == b"A film"

    def test_unlisted_channel_file_is_never_opened(self, root):
        fx.write_se_v15(root, self.events()[:2])
        # a channel file that cannot be opened: reading it would end the scan with an error
        folder = os.path.join(root, fx.SE_FOLDER, "EPGDB")
        os.symlink("/nonexistent/file", os.path.join(folder, f"{CH2:016x}.eventdb"))
        status, console, records = fx.search_file(
            root, "smartepg15", [definition_lines("Films", [("T", "film", 50)], channels=(CH1,))])
        assert status == 0 and "Unable to open" not in console, console
        assert sorted(r["eventid"] for r in records) == [1, 2]
        # a definition without channel list opens every file, and the broken one ends the scan
        status, console, records = fx.search_file(root, "smartepg15", [definition_lines("Films", [("T", "film", 50)])])
        assert f"Unable to open '/mnt/hd/ProgramFiles/Settings/SmartEPG_TMS/EPGDB/{CH2:016x}.eventdb'" in console

    def test_count_beyond_the_file_reads_what_is_there(self, root):
        data = bytearray(fx.se_v15_file(self.events()[:2]))
        data[16:20] = b"\x00\x00\x00\x10"   # 0x10000000 records claimed
        fx.write(root, f"{fx.SE_FOLDER}/EPGDB/{CH1:016x}.eventdb", bytes(data))
        status, console, records = fx.search_file(root, "smartepg15", [definition_lines("Any", [("B", "*", 50)])])
        assert status == 0, console
        assert sorted(r["eventid"] for r in records) == [1, 2]


class TestCommandLine:
    def test_no_arguments_prints_help(self, root):
        status, console = fx.run_skimlet(root)
        assert status == 0
        assert "Usage: skimlet -h -a [australian] -d [definition] -r [results] -s [source].\r\n" in console
        assert "  -s:  EPG source. [pvr|smartepg13|(smartepg|smartepg15)].\r\n" in console

    def test_help_option(self, root):
        status, console = fx.run_skimlet(root, "-a", "1", "-h")
        assert status == 0 and " Using '1' for AU firmware." in console and "  -h:  Display this screen." in console

    def test_results_file_that_cannot_be_opened(self, root):
        status, console = fx.run_skimlet(root, "-r", "/mnt/hd/no/such/folder/results.epg", "-s", "pvr")
        assert status == 253   # -3
        assert "  ERROR - Unable to open results file '/mnt/hd/no/such/folder/results.epg'." in console

    def test_no_definitions(self, root):
        status, console, records = fx.search_file(root, "pvr", [])
        assert status == 0
        assert " ERROR - No search criteria found in '/mnt/hd/ProgramFiles/Settings/Orvane/search.txt'." in console

    def test_missing_definitions_file(self, root):
        status, console = fx.run_skimlet(root, "-s", "pvr")
        assert status == 0
        assert "  ERROR - Unable to open search file '/mnt/hd/ProgramFiles/Settings/Orvane/bad_file_name.txt'." in console

    def test_source_names(self, root):
        for source, text in [("pvr", " Using PVR for EPG source data."),
                             ("smartepg", " Using SmartEPG DB v15 for EPG source data."),
                             ("smartepg15", " Using SmartEPG DB v15 for EPG source data."),
                             ("smartepg13", " Using SmartEPG DB v13 for EPG source data.")]:
            status, console = fx.run_skimlet(root, "-s", source, "-d", "/none")
            assert text in console


class TestDefinitionsFile:
    def run(self, root, definitions, **kwargs):
        e = [Event(CH1, D(2024, 3, 5, 20, 0), 30, b"Alpha", eventid=1),
             Event(CH1, D(2024, 3, 5, 21, 0), 30, b"Beta", eventid=2)]
        fx.write_pvr_epg(root, e)
        path = fx.write_definitions(root, definitions, **kwargs)
        status, console = fx.run_skimlet(root, "-d", path, "-s", "pvr", "-r", f"/{fx.ROOT_FOLDER}/results.epg")
        results = os.path.join(root, fx.ROOT_FOLDER, "results.epg")
        return status, console, (fx.read_results(results) if os.path.getsize(results) else None)

    def test_recording_mode_one_is_dropped(self, root):
        status, console, records = self.run(root, [
            definition_lines("Dropped", [("T", "alpha", 50)], recording_mode="1"),
            definition_lines("Kept", [("T", "beta", 50)]),
        ])
        assert " Loaded 1 search definitions from" in console
        assert [(r["eventid"], r["definition"], r["definition_name"]) for r in records] == [(2, 0, b"Kept")]

    @pytest.mark.parametrize("bom,newline", [(True, "\r\n"), (False, "\n"), (True, "\r")])
    def test_marker_and_line_ends(self, root, bom, newline):
        status, console, records = self.run(root, [definition_lines("A", [("T", "alpha", 50)]),
                                                   definition_lines("B", [("T", "beta", 50)])],
                                            bom=bom, newline=newline)
        assert [r["definition_name"] for r in records] == [b"A", b"B"], console

    def test_overlong_line_is_cut_not_split(self, root):
        long_name = "N" * 3000 + "Search:           T;beta;50"
        status, console, records = self.run(root, [definition_lines(long_name, [("T", "alpha", 50)])])
        assert status == 0
        assert [r["eventid"] for r in records] == [1]
        assert records[0]["definition_name"] == b"N" * 255

    def test_definition_without_search_line_stops_loading(self, root):
        status, console, records = self.run(root, [definition_lines("Empty", [])])
        assert " ERROR - definition 0, Unable to allocate memory for search text." in console
        assert " ERROR - No search criteria found in" in console
