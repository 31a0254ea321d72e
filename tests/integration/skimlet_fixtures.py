"""Test data for skimlet, written byte for byte as the file layouts say, and an independent
reader and writer of its binary results file.

Layouts:
  "PVR.epg": per event the 80-byte firmware event, u64 channel, u32 local start, s16 offset,
             u32 local end, s16 offset, three items (u32 tag, u32 length, bytes); trailer
             u32 event structure size, u32 count.
  SmartEPG:  20-byte header ("EPG_EDB" in 8 bytes, u32 version, u32 own value, u32 count),
             records of 120 (layout 13) or 136 (layout 15) bytes; texts as u32 length + bytes,
             in "EventExtDescr.db" at absolute offsets (13) or after the records at
             reference + 24 + count * 136 (15).
  dumps:     parental 22 x 16 bytes, genres 256 x 128 bytes, AU genres 16 x 128 bytes.
  results:   "RUDARA" 00 01, 9048-byte records, u32 count.
"""
import dataclasses
import datetime
import os
import struct

import sanitizers

MJD_EPOCH = datetime.date(1858, 11, 17)
ROOT_FOLDER = "mnt/hd/ProgramFiles/Settings/Orvane"
SE_FOLDER = "mnt/hd/ProgramFiles/Settings/SmartEPG_TMS"
RECORD_SIZE = 9048


def mjd(day):
    return (day - MJD_EPOCH).days


def packed_date(moment):
    """Packed PVR date of a datetime: MJD << 16 | hour << 8 | minute."""
    return mjd(moment.date()) << 16 | moment.hour << 8 | moment.minute


def from_packed_date(value):
    day = MJD_EPOCH + datetime.timedelta(days=value >> 16)
    return datetime.datetime(day.year, day.month, day.day, (value >> 8) & 0xFF, value & 0xFF)


def json_date(moment):
    return moment.strftime("%Y/%m/%d %H:%M:00")


@dataclasses.dataclass
class Event:
    channel: int
    start: datetime.datetime          # local start
    duration: int                     # minutes
    name: bytes
    description: bytes = b""
    text: bytes = b""
    eventid: int = 1
    content: int = 0                  # PVR: content byte; SmartEPG: genre byte as stored
    sourceflag: int = 0
    parental: int = 0
    networkid: int = 0
    tsid: int = 0
    serviceid: int = 0
    satindex: int = 0
    lang: bytes = b"eng"
    citid: int = 0
    unknown14: int = 0
    icechannel: int = 0
    unknown15: bytes = bytes(6)
    timezone: int = 60                # minutes local time is ahead of UTC
    datastatus: int = 0
    runningstatus: int = 0

    @property
    def end(self):
        return self.start + datetime.timedelta(minutes=self.duration)


# ---- "PVR.epg" ----

def pvr_epg_bytes(events, struct_size=80, count=None):
    out = bytearray()
    for e in events:
        ev = bytearray(b"\xAA" * 80)   # bytes the reader must not use
        hours, minutes = divmod(e.duration, 60)
        status = (e.datastatus & 3) | (e.runningstatus & 7) << 2 | (minutes & 0xFF) << 12 | (hours & 0xFF) << 20
        struct.pack_into("<I", ev, 0, status)
        struct.pack_into("<H", ev, 4, e.eventid)
        offset = datetime.timedelta(minutes=e.timezone)
        struct.pack_into("<II", ev, 8, packed_date(e.start - offset), packed_date(e.end - offset))
        ev[16] = len(e.name) & 0xFF
        ev[17] = e.parental
        struct.pack_into("<HHH", ev, 18, e.networkid, e.tsid, e.serviceid)
        ev[24] = e.satindex
        ev[27:30] = e.lang[:3].ljust(3, b"\0")
        struct.pack_into("<H", ev, 58, len(e.text) & 0xFFFF)
        struct.pack_into("<I", ev, 64, e.citid & 0xFFFFFFFF)
        ev[68] = e.content
        ev[69] = e.sourceflag
        struct.pack_into("<HH", ev, 70, e.unknown14, e.icechannel)
        ev[74:80] = e.unknown15
        out += ev
        out += struct.pack("<Q", e.channel)
        out += struct.pack("<IhIh", packed_date(e.start), e.timezone, packed_date(e.end), e.timezone)
        for tag, data in ((1, e.name), (2, e.description), (3, e.text)):
            out += struct.pack("<II", tag, len(data)) + data
    out += struct.pack("<II", struct_size & 0xFFFFFFFF, len(events) if count is None else count)
    return bytes(out)


# ---- SmartEPG ----

def se_header(version, count):
    return b"EPG_EDB\0" + struct.pack("<III", version, 1, count)


def se_record(e, size, refs):
    rec = bytearray(b"\x5A" * size)   # bytes the reader must not use
    stamp = e.start - datetime.timedelta(minutes=e.timezone)
    struct.pack_into("<QII", rec, 0, e.channel, packed_date(stamp), packed_date(e.start))
    struct.pack_into("<H", rec, 16, e.duration)
    struct.pack_into("<I", rec, 20, refs[0])
    struct.pack_into("<I", rec, 40, refs[1])
    struct.pack_into("<I", rec, 60, refs[2])
    rec[64] = e.content
    struct.pack_into("<I", rec, 68, e.eventid)
    return bytes(rec)


def se_v13_files(events, count=None):
    """(Event.db, EventExtDescr.db) contents."""
    texts = bytearray(b"TXT0")
    records = bytearray()
    for e in events:
        refs = []
        for data in (e.name, e.description, e.text):
            refs.append(len(texts))
            texts += struct.pack("<I", len(data)) + data
        records += se_record(e, 120, refs)
    return se_header(13, len(events) if count is None else count) + bytes(records), bytes(texts)


def se_v15_file(events, count=None):
    """One channel file: header, records, 4 bytes, then the texts."""
    texts = bytearray()
    records = bytearray()
    for e in events:
        refs = []
        for data in (e.name, e.description, e.text):
            refs.append(len(texts))
            texts += struct.pack("<I", len(data)) + data
        records += se_record(e, 136, refs)
    n = len(events) if count is None else count
    return se_header(15, n) + bytes(records) + b"\0\0\0\0" + bytes(texts)


def write(root, relative, data):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def write_pvr_epg(root, events, **kwargs):
    return write(root, f"{ROOT_FOLDER}/PVR.epg", pvr_epg_bytes(events, **kwargs))


def write_se_v13(root, events, **kwargs):
    db, texts = se_v13_files(events, **kwargs)
    write(root, f"{SE_FOLDER}/Event.db", db)
    write(root, f"{SE_FOLDER}/EventExtDescr.db", texts)


def write_se_v15(root, events):
    """One file per channel, named by the channel's logo ID."""
    by_channel = {}
    for e in events:
        by_channel.setdefault(e.channel, []).append(e)
    paths = {}
    for channel, group in by_channel.items():
        paths[channel] = write(root, f"{SE_FOLDER}/EPGDB/{channel:016x}.eventdb", se_v15_file(group))
    return paths


# ---- genre and parental dumps ----

PARENTAL = [b"", b"1", b"2", b"3", b"4", b"5", b"6", b"C", b"8", b"G", b"10", b"PG", b"PG", b"M", b"14", b"MA",
            b"16", b"AV", b"R", b"19", b"20", b"21"]
GENRE_NAMES = {0x10: b"Movie/Drama", 0x14: b"Comedy", 0x20: b"News/Current Affairs", 0x23: b"Documentary",
               0x40: b"Sports", 0x41: b"Special Events", 0x43: b"Football/Soccer", 0x91: b"Nature/Animals/Environment"}
AU_GENRES = [b"", b"Movie", b"News", b"Entertainment", b"Sport", b"Children's", b"Music", b"Arts/Culture",
             b"Current Affairs", b"Education/Information", b"Infotainment", b"Special", b"Comedy", b"Drama",
             b"Documentary", b"AU Genre F0"]


def genre_table():
    table = [b""] + [b"Genre %02X" % i for i in range(1, 256)]
    for index, name in GENRE_NAMES.items():
        table[index] = name
    return table


def dump_bytes(entries, size):
    return b"".join(e.ljust(size, b"\0") for e in entries)


def write_dumps(root, parental=None, genres=None, au=None):
    write(root, f"{ROOT_FOLDER}/parental.epg", dump_bytes(parental or PARENTAL, 16))
    write(root, f"{ROOT_FOLDER}/genre.epg", dump_bytes(genres or genre_table(), 128))
    write(root, f"{ROOT_FOLDER}/genre_au.epg", dump_bytes(au or AU_GENRES, 128))


# ---- definitions ----

def line(key, value=""):
    return f"{key:<18}{value}"


def definition_lines(name, searches=(), channels=(0,), recording_mode="0", request=False, **fields):
    """Lines of one definition. searches: (type, pattern, weight); fields: StartTime=..., etc."""
    lines = []
    if request:
        lines += [line("ChannelCount:", len(channels)), line("TextCount:", len(searches))]
    lines += [line("Name:", name), line("RecordingMode:", recording_mode)]
    lines += [line("ChannelID:", f"{c:016x}") for c in channels]
    lines += [line("Search:", f"{t};{p};{w}") for t, p, w in searches]
    for key, value in fields.items():
        lines.append(line(key + ":", value))
    return lines


def definitions_file(definitions, bom=True, newline="\r\n"):
    text = newline.join(l for d in definitions for l in d) + newline
    return (b"\xEF\xBB\xBF" if bom else b"") + text.encode("utf-8")


def request_text(definitions, show_progress=True):
    lines = [line("SearchCount:", len(definitions))]
    if show_progress:
        lines.append(line("ShowProgress:", "1"))
    for d in definitions:
        lines += d
    lines.append(line("EndQuery:"))
    return "\r\n".join(lines) + "\r\n"


# ---- results file ----

FIELDS = [  # name, offset, struct format
    ("source", 0, "<i"), ("channel", 8, "<Q"), ("definition", 16, "<i"), ("eventid", 276, "<H"),
    ("datastatus", 278, "<B"), ("runningstatus", 280, "<i"), ("starttime", 284, "<I"), ("endtime", 288, "<I"),
    ("timezone", 292, "<h"), ("duration", 294, "<H"), ("satindex", 296, "<H"), ("networkid", 298, "<H"),
    ("tsid", 300, "<H"), ("serviceid", 302, "<H"), ("svctype", 304, "<i"), ("svcnum", 308, "<i"),
    ("parental", 316, "<B"), ("namelength", 317, "<B"), ("descriptionlength", 318, "<B"),
    ("textlength", 320, "<H"), ("citid", 9028, "<i"), ("contentidentifier", 9032, "<B"),
    ("sourceflag", 9033, "<B"), ("unknown14", 9034, "<H"), ("icechannel", 9036, "<H"),
]
TEXTS = [("definition_name", 20, 256), ("lang", 312, 4), ("name", 322, 256), ("description", 578, 256),
         ("text", 834, 8194)]


def cstring(data):
    return data.split(b"\0", 1)[0]


def read_results(path):
    """The records of a results file as dicts; checks header, size and count."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"RUDARA\x00\x01", data[:8]
    assert (len(data) - 12) % RECORD_SIZE == 0, len(data)
    (count,) = struct.unpack("<I", data[-4:])
    assert count == (len(data) - 12) // RECORD_SIZE
    records = []
    for i in range(count):
        raw = data[8 + i * RECORD_SIZE: 8 + (i + 1) * RECORD_SIZE]
        r = {name: struct.unpack_from(fmt, raw, offset)[0] for name, offset, fmt in FIELDS}
        for name, offset, size in TEXTS:
            r[name] = cstring(raw[offset:offset + size])
        r["unknown15"] = raw[9038:9044]
        r["zero"] = raw[4:8] + raw[279:280] + raw[319:320] + raw[9044:9048]
        r["raw"] = raw
        records.append(r)
    return records


def results_bytes(records):
    """A results file written from expected records (dicts of the fields above)."""
    out = bytearray(b"RUDARA\x00\x01")
    for r in records:
        raw = bytearray(RECORD_SIZE)
        for name, offset, fmt in FIELDS:
            struct.pack_into(fmt, raw, offset, r[name])
        for name, offset, size in TEXTS:
            value = r[name][:size - 1]
            raw[offset:offset + len(value)] = value
        raw[9038:9044] = r["unknown15"]
        out += raw
    out += struct.pack("<I", len(records))
    return bytes(out)


def expected_record(e, source, definition, definition_name, name, description, text, content=None):
    """The record skimlet should write for event e (texts already as UTF-8 and cut)."""
    pvr = source == 0
    return {
        "source": source, "channel": e.channel, "definition": definition, "definition_name": definition_name,
        "eventid": e.eventid & 0xFFFF, "datastatus": e.datastatus if pvr else 0,
        "runningstatus": e.runningstatus if pvr else 0, "starttime": packed_date(e.start), "endtime": packed_date(e.end),
        "timezone": e.timezone, "duration": e.duration, "satindex": e.satindex if pvr else 0,
        "networkid": e.networkid if pvr else 0, "tsid": e.tsid if pvr else 0, "serviceid": e.serviceid if pvr else 0,
        "svctype": -1, "svcnum": -1, "lang": e.lang if pvr else b"", "parental": e.parental if pvr else 0,
        "namelength": len(name), "descriptionlength": len(description), "textlength": len(text),
        "name": name, "description": description, "text": text, "citid": e.citid if pvr else 0,
        "contentidentifier": content if content is not None else e.content,
        "sourceflag": e.sourceflag if pvr else 0, "unknown14": e.unknown14 if pvr else 0,
        "icechannel": e.icechannel if pvr else 0, "unknown15": e.unknown15 if pvr else bytes(6),
    }


def swap_nibbles(b):
    return (b << 4 | b >> 4) & 0xFF


# ---- running skimlet ----

def skimlet_path():
    build = os.environ.get("ORVANE_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    return os.environ.get("SKIMLET", os.path.join(build, "search", "skimlet"))


def skimlet_env(root):
    env = dict(os.environ)
    env["ORVANE_ROOT"] = root
    env["ORVANE_BIND_ADDRESS"] = "127.0.0.1"
    return env


def run_skimlet(root, *args, timeout=120):
    """Runs skimlet to its end; returns (exit status, console text). Fails on a sanitizer
    report or a crash."""
    import subprocess
    p = subprocess.run([skimlet_path(), *args], env=skimlet_env(root), stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=timeout)
    console = p.stdout.decode("latin-1")
    check_console(console)
    return p.returncode, console


def check_console(console, crash_expected=False):
    """Fails on a sanitizer report in skimlet's console, and on a crash that its own
    handler caught (which also hides the crash from the sanitizers)."""
    sanitizers.check(console, "skimlet")
    if not crash_expected:
        assert "Caught a segmentation fault" not in console, console[-4000:]


def write_definitions(root, definitions, name="search.txt", **kwargs):
    write(root, f"{ROOT_FOLDER}/{name}", definitions_file(definitions, **kwargs))
    return f"/{ROOT_FOLDER}/{name}"


def search_file(root, source, definitions, **kwargs):
    """Writes the definitions, runs skimlet in file mode; returns (status, console, records)."""
    path = write_definitions(root, definitions)
    status, console = run_skimlet(root, "-d", path, "-s", source, "-r", f"/{ROOT_FOLDER}/results.epg", **kwargs)
    results = os.path.join(root, ROOT_FOLDER, "results.epg")
    have = os.path.exists(results) and os.path.getsize(results) > 0
    return status, console, (read_results(results) if have else None)
