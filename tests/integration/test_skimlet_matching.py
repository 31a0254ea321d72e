"""Which definition claims which event: the checks in their order, run end to end through
skimlet in file mode, with Python's datetime as the weekday oracle."""
import datetime
import os

import pytest

import skimlet_fixtures as fx
from skimlet_fixtures import Event, definition_lines

D = datetime.datetime
CH1 = 0x00c000010001000a
CH2 = 0x00c0000200020014
CH_NEG = 0x0000000afffffff0
CH_NEG_TWIN = 0xffffffffaffffff0 & 0x0000000bfffffff0   # differs only in the high 32 bits


def claims(root, events, definitions, source="pvr"):
    """{eventid: definition index} of the delivered events, in delivery order."""
    if source == "pvr":
        fx.write_pvr_epg(root, events)
    else:
        fx.write_se_v13(root, events)
    status, console, records = fx.search_file(root, source, definitions)
    assert status == 0, console
    assert records is not None, console
    ids = [r["eventid"] for r in records]
    assert len(ids) == len(set(ids)), "an event was delivered twice"
    return {r["eventid"]: r["definition"] for r in records}


def ev(eventid, name=b"x", description=b"", text=b"", start=D(2024, 3, 4, 20, 0), duration=30, channel=CH1,
       content=0):
    return Event(channel, start, duration, name, description, text, eventid=eventid, content=content)


def test_weights_add_across_texts(root):
    events = [ev(1, b"alpha", b"beta"), ev(2, b"alpha"), ev(3, b"gamma", b"beta"), ev(4, b"alpha alpha", b"alpha")]
    got = claims(root, events, [definition_lines("Two", [("T", "alpha", 25), ("D", "beta", 25)])])
    assert got == {1: 0}
    # one text that finds itself in two fields still counts once
    got = claims(root, events, [definition_lines("Once", [("A", "alpha", 25), ("E", "nothing", 25)])])
    assert got == {}
    got = claims(root, events, [definition_lines("Alone", [("A", "alpha", 50)])])
    assert got == {1: 0, 2: 0, 4: 0}


def test_first_claiming_definition(root):
    events = [ev(1, b"red green"), ev(2, b"green"), ev(3, b"blue")]
    got = claims(root, events, [definition_lines("Red", [("T", "red", 50)]),
                                definition_lines("Green", [("T", "green", 50)]),
                                definition_lines("Any", [("T", "*", 50)])])
    assert got == {1: 0, 2: 1, 3: 2}


def test_search_types_choose_the_fields(root):
    events = [ev(1, b"hit"), ev(2, b"", b"hit"), ev(3, b"", b"", b"hit")]
    expected = {"T": {1}, "D": {2}, "E": {3}, "A": {1, 2}, "S": {2, 3}, "q": {1, 3}, "B": {1, 2, 3}, "G": set(),
                "Z": set()}
    for letter, ids in expected.items():
        got = claims(root, events, [definition_lines(letter, [(letter, "hit", 50)])])
        assert set(got) == ids, letter


@pytest.mark.parametrize("source", ["pvr", "smartepg13"])
def test_genre_nibble_order(root, source):
    # Genre 14: level 1 = 1 (movie), level 2 = 4 (comedy)
    events = [ev(1, content=0x41), ev(2, content=0x14), ev(3, content=0)]
    got = claims(root, events, [definition_lines("Comedy", [("T", "*", 50)], Genre="14")], source)
    # a PVR event is looked up with its nibbles swapped; a SmartEPG genre byte is swapped on reading
    assert set(got) == {1, 3}


def test_genre_list_accepts_each_code(root):
    events = [ev(1, content=0x41), ev(2, content=0x32), ev(3, content=0x23), ev(4, content=0x10)]
    got = claims(root, events, [definition_lines("G", [("T", "*", 50)], Genre="14"),
                                definition_lines("H", [("T", "*", 50)], Genre="00")])
    # "Genre: 00" adds nothing: the second definition takes every genre
    assert got == {1: 0, 2: 1, 3: 1, 4: 1}


@pytest.mark.parametrize("start,end,inside", [
    # 22:00 to 02:00 wraps past midnight
    (5632, 512, ["22:00", "23:30", "00:00", "01:00", "02:00"]),
    # 10:00 to 12:00
    (2560, 3072, ["10:00", "11:00", "12:00"]),
    # only an end: 00:00 counts as no bound
    (0, 1792, ["00:00", "01:00", "02:00", "02:01", "07:00"]),
])
def test_time_window(root, start, end, inside):
    times = ["21:30", "21:59", "22:00", "23:30", "00:00", "01:00", "02:00", "02:01", "07:00", "07:01", "09:59",
             "10:00", "11:00", "12:00", "12:01"]
    events = []
    for i, t in enumerate(times):
        h, m = map(int, t.split(":"))
        events.append(ev(i + 1, start=D(2024, 3, 4, h, m)))
    got = claims(root, events, [definition_lines("W", [("T", "*", 50)], StartTime=start, EndTime=end)])
    assert sorted(times[i - 1] for i in got) == sorted(inside)


@pytest.mark.parametrize("mask", ["135", "67", "7", "1234567", ""])
def test_weekdays_from_the_mjd(root, mask):
    first = datetime.date(2023, 12, 25)
    events = [ev(i + 1, start=D.combine(first + datetime.timedelta(days=i), datetime.time(12, 0)))
              for i in range(21)]
    got = claims(root, events, [definition_lines("W", [("T", "*", 50)], WeekDays=mask)])
    wanted = {int(c) for c in mask} or set(range(1, 8))
    assert set(got) == {e.eventid for e in events if e.start.isoweekday() in wanted}


def test_duration_and_dates(root):
    day = datetime.date(2024, 3, 4)
    events = [ev(1, duration=29), ev(2, duration=30), ev(3, duration=60), ev(4, duration=61),
              ev(5, start=D(2024, 3, 3, 12, 0)), ev(6, start=D(2024, 3, 6, 23, 0), duration=120),
              ev(7, start=D(2024, 3, 5, 23, 0), duration=30)]
    got = claims(root, events, [definition_lines("Len", [("T", "*", 50)], MinLength=30, MaxLength=60,
                                                 StartDate="%04x" % fx.mjd(day),
                                                 EndDate="%04x" % fx.mjd(day + datetime.timedelta(days=2)))])
    # 5 starts before the first day; 6 ends on the day after the last
    assert set(got) == {2, 3, 7}


def test_channels_compare_all_64_bits(root):
    events = [ev(1, channel=CH1), ev(2, channel=CH2), ev(3, channel=CH_NEG), ev(4, channel=CH_NEG_TWIN)]
    got = claims(root, events, [definition_lines("C", [("T", "*", 50)], channels=(CH1, CH_NEG))])
    assert set(got) == {1, 3}
    got = claims(root, events, [definition_lines("Any", [("T", "*", 50)], channels=(0,))])
    assert set(got) == {1, 2, 3, 4}


@pytest.mark.parametrize("pattern,hits", [
    ("*news*", {1, 2, 3}),          # .*news.*, case ignored
    ("a.b", {4}),                   # a\.b: the full stop is literal
    ("a?c", {5, 6}),                # a.c
    ("/^News$/", {1}),              # a regular expression between slashes
    ("/news [0-9]/", {2}),
    ("5\\*", {7}),                  # an escaped asterisk stays literal
    ("//x//", set()),               # not a regular expression: the slashes are literal text
])
def test_wildcard_conversion(root, pattern, hits):
    events = [ev(1, b"News"), ev(2, b"news 2"), ev(3, b"NEWSROOM"), ev(4, b"a.b"), ev(5, b"axb abc"),
              ev(6, b"a-c"), ev(7, b"5* rating 55")]
    got = claims(root, events, [definition_lines("P", [("T", pattern, 50)])])
    assert set(got) == hits


def test_invalid_pattern_never_matches(root):
    events = [ev(1, b"([a-z"), ev(2, b"anything")]
    status_defs = [definition_lines("Bad", [("T", "/([a-z/", 50)]),
                   definition_lines("Mixed", [("T", "/([a-z/", 50), ("T", "anything", 50)])]
    got = claims(root, events, status_defs)
    assert got == {2: 1}


def test_html_references_are_decoded_before_matching(root):
    events = [ev(1, b"Tom &amp; Jerry"), ev(2, b"Caf&eacute;"), ev(3, b"&#65;&#x42;&#X43;"), ev(4, b"bell &#7; x"),
              ev(5, b"&yuml;"), ev(6, b"&quot;q&quot; &lt;&gt;"), ev(7, b"&unknown; &amp")]
    defs = [definition_lines("1", [("T", "Tom & Jerry", 50)]),
            definition_lines("2", [("T", "/^Caf\\xe9$/", 50)]),
            definition_lines("3", [("T", "/^ABC$/", 50)]),
            # (a pattern cannot hold ";": it ends the pattern field)
            definition_lines("4", [("T", "/&#7/", 50)]),
            definition_lines("5", [("T", "/^&yuml/", 50)]),
            definition_lines("6", [("T", '/^"q" <>$/', 50)]),
            definition_lines("7", [("T", "/^&unknown. &amp$/", 50)])]
    got = claims(root, events, defs)
    assert got == {i: i - 1 for i in range(1, 8)}
