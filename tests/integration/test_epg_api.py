"""The EPG answers of Orvane.tap in pvrsim on the demo world's week of events: pages for a
channel and a time window from the PVR's own EPG and from the SmartEPG database of either
layout, compared with what the world file says (local times by Python's zoneinfo)."""
import datetime
import json
import os
import urllib.parse

import pytest

import epg_world
from conftest import free_port, get, write_ini

D = datetime.datetime
SOURCES = ["pvr", "smartepg15", "smartepg13"]


@pytest.fixture
def epg_pvr(pvr_root, start_pvrsim):
    """pvrsim on the demo disk at epg_world.CLOCK, with a SmartEPG stand-in of the layout
    asked for (none for the PVR's EPG alone)."""
    def start(smartepg=None, ini=""):
        world = epg_world.prepare(pvr_root)
        port = free_port()
        write_ini(pvr_root, f"port={port}\nlogginglevel=2\nauthentication=0\n{ini}")
        taps = [os.path.join(pvr_root, "mnt/hd/ProgramFiles/Orvane.tap")]
        if smartepg:
            taps.append(epg_world.install_smartepg(pvr_root, smartepg))
        env = dict(os.environ, ORVANE_BIND_ADDRESS="127.0.0.1")
        sim = start_pvrsim(pvr_root, taps, env=env, idle_ms=2)
        sim.expect(r"loaded slot 0 id 0x514b570f")
        if smartepg:
            sim.expect(r"loaded slot 1 id 0x8e0a424e")
        sim.port = port
        sim.world = world
        sim.events = epg_world.events(world)
        return sim
    return start


def ask(sim, action, **params):
    query = "&".join(f"{k}={urllib.parse.quote(str(v))}" for k, v in params.items())
    status, headers, body = get(sim.port, f"/api?function=epg&action={action}!{query}")
    assert status.startswith("HTTP/1.1 200"), status
    assert headers["content-type"].startswith("application/json")
    return json.loads(body)


def local(e, source):
    """(start, end) local texts as the source gives them: SmartEPG keeps a local start and
    adds the duration to it, the PVR converts its UTC start and end."""
    end = e["start"] + datetime.timedelta(minutes=e["duration"]) if source != "pvr" else e["end"]
    return epg_world.json_date(e["start"]), epg_world.json_date(end)


def check_event(got, e, source):
    start, end = local(e, source)
    pvr = source == "pvr"
    assert (got["eventid"], got["starttime_local"], got["endtime_local"]) == (e["eventid"], start, end)
    assert got["duration"] == e["duration"]
    assert got["timezone"] == e["timezone"]
    assert (got["svctype"], got["svcnum"]) == (e["svctype"], e["svcnum"])
    assert (got["name"], got["description"], got["text"]) == (e["name"], e["description"], e["text"])
    assert got["namelength"] == len(e["name"].encode())
    assert got["descriptionlength"] == len(e["description"].encode())
    # The PVR's extended text is counted as the firmware keeps it (selector included); SmartEPG
    # keeps its texts in UTF-8.
    assert got["textlength"] == len(e["text_bytes"] if pvr else e["text"].encode())
    # SmartEPG's genre byte is in DVB order; swapped, it is the PVR's content byte again.
    assert got["contentidentifier"] == e["content"]
    index = epg_world.general_genre(e["content"])
    assert got["genre_code"] == "%02x" % index
    if index in epg_world.GENRE_NAMES:
        assert got["genre_text"] == epg_world.GENRE_NAMES[index]
    assert got["datastatus"] == (0 if pvr else 9)
    assert got["runningstatus"] == (e["running"] if pvr else 0)
    assert got["lang"] == (e["lang"] if pvr else "???")
    assert got["parental"] == (e["parental"] if pvr else 0)


@pytest.mark.parametrize("source", SOURCES)
def test_a_channel_in_a_time_window(epg_pvr, source):
    sim = epg_pvr(None if source == "pvr" else source)
    # Café Lumière over an evening, and Κανάλι Ήλιος (its texts in ISO 8859-7) across the
    # night of the spring change.
    for number, start, end in ((3, D(2024, 3, 29, 18, 0), D(2024, 3, 30, 1, 30)),
                               (5, D(2024, 3, 30, 22, 0), D(2024, 3, 31, 6, 0))):
        answer = ask(sim, "get", chtype=0, chnum=number, starttime=epg_world.json_date(start),
                     endtime=epg_world.json_date(end), epgsource="pvr" if source == "pvr" else "smartepg")
        channel = [e for e in sim.events if (e["svctype"], e["svcnum"]) == (0, number)]
        if source != "pvr":
            for e in channel:
                e["end"] = e["start"] + datetime.timedelta(minutes=e["duration"])
        want = sorted(epg_world.in_window(channel, start, end), key=lambda e: e["start"])
        assert answer["epgsource"] == ("pvr" if source == "pvr" else "smartepg")
        assert answer["error"] == 0
        assert answer["requested_chtype"] == 0 and answer["requested_chnum"] == number
        assert answer["requested_starttime"] == epg_world.json_date(start)
        assert answer["requested_logoid"] == "%016x" % channel[0]["logoid"]
        assert answer["count"] == len(want) == len(answer["event"]) > 2
        got = answer["event"] if source == "pvr" else sorted(answer["event"], key=lambda e: e["starttime_local"])
        for g, e in zip(got, want):
            check_event(g, e, source)
    # The spring change: the same channel's events before it are an hour ahead of UTC, after
    # it two hours.
    assert {e["timezone"] for e in answer["event"]} == {60, 120}


def test_all_channels_in_a_window_in_pool_order(epg_pvr):
    sim = epg_pvr()
    start, end = D(2024, 4, 2, 12, 0), D(2024, 4, 2, 12, 30)
    answer = ask(sim, "get", starttime=epg_world.json_date(start), endtime=epg_world.json_date(end))
    want = epg_world.in_window(sim.events, start, end)
    # The pool is not in time order: nothing that matches is lost behind a later event.
    assert [e["eventid"] for e in answer["event"]] == [e["eventid"] for e in want]
    assert answer["count"] == len(want)
    for g, e in zip(answer["event"], want):
        check_event(g, e, "pvr")


def test_a_start_alone_keeps_what_ends_after_it(epg_pvr):
    sim = epg_pvr()
    start = D(2024, 4, 4, 20, 0)
    answer = ask(sim, "get", chtype=0, chnum=12, starttime=epg_world.json_date(start))
    want = [e for e in sim.events if (e["svctype"], e["svcnum"]) == (0, 12) and e["end"] >= start]
    assert answer["requested_endtime"] == "0000/00/00 00:00:00"
    assert sorted(e["eventid"] for e in answer["event"]) == sorted(e["eventid"] for e in want)
    assert len(want) > 5


def test_every_event_without_parameters(epg_pvr):
    sim = epg_pvr()
    answer = ask(sim, "get")
    assert answer["count"] == len(sim.events) == len(answer["event"])
    assert answer["requested_epgsource"] == "none"
    # Running now: the one event of each channel that spans the clock.
    running = sorted((e["svctype"], e["svcnum"]) for e in answer["event"] if e["runningstatus"] == 4)
    want = sorted((e["svctype"], e["svcnum"]) for e in sim.events if e["running"] == 4)
    assert running == want and len(want) > 20


def test_smartepg_not_running_falls_back_to_the_pvr(epg_pvr):
    sim = epg_pvr(ini="epgsource=1\n")
    answer = ask(sim, "get", chtype=0, chnum=2, starttime="2024/03/29 12:00:00", endtime="2024/03/29 13:00:00")
    assert answer["epgsource"] == "pvr" and answer["requested_epgsource"] == "none"
    assert answer["count"] > 0


def test_genre_lists(epg_pvr):
    sim = epg_pvr()
    etsi = ask(sim, "genre")
    assert etsi["count"] == 256 == len(etsi["genres"]) and etsi["returned_source"] == "etsi"
    assert {g["genre_code"]: g["genre_text"] for g in etsi["genres"]}["14"] == "Comedy"
    au = ask(sim, "genre", genre_source="au", language="de")
    assert au["count"] == 16 and au["returned_source"] == "au" and au["requested_language"] == "de"
    assert au["genres"][4] == {"genre_code": "40", "genre_value": 64, "genre_text": "Sport"}


@pytest.mark.parametrize("source", SOURCES)
def test_logo_id_event_id_and_text_filters(epg_pvr, source):
    sim = epg_pvr(None if source == "pvr" else source)
    smartepg = {} if source == "pvr" else {"epgsource": "smartepg"}
    # One channel by its logo ID (the version-15 layout reads the file of the channel asked
    # for, so the channel is named too).
    channel = [e for e in sim.events if (e["svctype"], e["svcnum"]) == (0, 4)]
    logo = "%016x" % channel[0]["logoid"]
    named = {"chtype": 0, "chnum": 4} if source == "smartepg15" else {}
    answer = ask(sim, "get", logoid=logo, **named, **smartepg)
    assert sorted(e["eventid"] for e in answer["event"]) == sorted(e["eventid"] for e in channel)
    assert answer["count"] == len(channel)
    assert ask(sim, "get", logoid="0123456789abcdef", **named, **smartepg)["count"] == 0
    # One event by its ID, within the channel.
    target = channel[len(channel) // 2]
    answer = ask(sim, "get", eventid=target["eventid"], **named, **smartepg)
    assert [e["eventid"] for e in answer["event"] if e["svcnum"] == 4] == [target["eventid"]]
    assert all(e["eventid"] == target["eventid"] for e in answer["event"])
    # A text in the name, description or extended text, ASCII letters without case.
    word = "EPISODE 1" + "2"
    answer = ask(sim, "get", text=word, **named, **smartepg)
    pool = channel if named else sim.events
    want = [e for e in pool if any(word.lower() in t.lower() for t in (e["name"], e["description"], e["text"]))]
    assert sorted(e["eventid"] for e in answer["event"]) == sorted(e["eventid"] for e in want)
    assert len(want) > 2
