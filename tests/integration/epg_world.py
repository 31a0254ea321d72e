"""The EPG an emulated PVR should show, computed from its world file alone: each event's
service, its local start and end by Python's zoneinfo, its texts and genre. The emulated
PVR of these tests stands still at CLOCK (UTC) in the time zone of Europe/Berlin (standard
offset 60 minutes, the European daylight-saving rule), a few days before the spring change,
so that the week of events crosses it."""
import datetime
import json
import os
import sys
import zoneinfo

from conftest import BUILD, SOURCE

sys.path.insert(0, os.path.join(SOURCE, "tools"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "oracles"))
import make_demo_disk  # noqa: E402
import pvr_tables  # noqa: E402
import smartepg_db  # noqa: E402

CLOCK = datetime.datetime(2024, 3, 29, 10, 7)
ZONE = "Europe/Berlin"
UTC = datetime.timezone.utc
SMARTEPG_TAPS = {"smartepg15": os.path.join(BUILD, "tests", "taps", "SmartEPG.tap"),
                 "smartepg13": os.path.join(BUILD, "tests", "taps", "SmartEPG-V6.tap")}
GENRE_NAMES = {0x10: "Movie/Drama", 0x11: "Detective/Thriller", 0x14: "Comedy", 0x20: "News/Current Affairs",
               0x43: "Football/Soccer", 0x55: "Cartoons/Puppets", 0x61: "Rock/Pop"}


def prepare(root):
    """Stops the root's clock at CLOCK, sets the European rule and writes the SmartEPG
    database for the same week; returns the world."""
    path = os.path.join(root, "pvrsim.json")
    with open(path) as f:
        profile = json.load(f)
    profile["clock"] = CLOCK.strftime("%Y-%m-%d %H:%M:%S")
    with open(path, "w") as f:
        json.dump(profile, f)
    with open(os.path.join(root, "mnt/hd/ProgramFiles/Settings/DST.ini"), "wb") as f:
        f.write(b"DefaultRule=europe\r\n")
    world_path = os.path.join(root, "world.json")
    make_demo_disk.write_smartepg(root, world_path, today=CLOCK.date(), zone=ZONE)
    with open(world_path, encoding="utf-8") as f:
        return json.load(f)


def install_smartepg(root, layout):
    """Puts the SmartEPG stand-in of a layout into the root's "/ProgramFiles", where the
    firmware's task table names it; returns its path there."""
    path = os.path.join(root, "mnt/hd/ProgramFiles", os.path.basename(SMARTEPG_TAPS[layout]))
    if os.path.lexists(path):
        os.remove(path)
    os.symlink(SMARTEPG_TAPS[layout], path)
    return path


def json_date(moment):
    return moment.strftime("%Y/%m/%d %H:%M:%S")


def general_genre(content):
    """The general genre table's index of a content byte as the PVR keeps it."""
    low, high = content & 0x0F, content >> 4
    return (low << 4 | high) if low else content


def events(world):
    """Every event of a known service, in the order of the world (the pool's order)."""
    epg = world["epg"]
    shift = datetime.timedelta(days=(CLOCK.date() - datetime.date.fromisoformat(epg["base_date"])).days)
    tz = zoneinfo.ZoneInfo(ZONE)
    out = []
    for e in epg["events"]:
        start = datetime.datetime.strptime(e["start"], "%Y-%m-%d %H:%M") + shift
        end = start + datetime.timedelta(minutes=e["duration"])
        local_start = start.replace(tzinfo=UTC).astimezone(tz)
        local_end = end.replace(tzinfo=UTC).astimezone(tz)
        out.append({
            "svctype": e["service"].get("type", 0), "svcnum": e["service"]["number"],
            "logoid": smartepg_db.service_logo_id(world, e["service"].get("type", 0), e["service"]["number"]),
            "eventid": e["event_id"], "start": local_start.replace(tzinfo=None),
            "end": local_end.replace(tzinfo=None),
            "timezone": int(local_start.utcoffset().total_seconds() // 60), "duration": e["duration"],
            "running": 4 if start <= CLOCK < end else 1,
            "name": e.get("name", ""), "description": e.get("description", ""), "text": e.get("text", ""),
            # the extended text as the firmware keeps it: its table's selector, then the text
            "text_bytes": pvr_tables.pvr_text(e.get("text", ""), e.get("charset")) if e.get("text") else b"",
            "parental": e.get("parental", 0), "content": e.get("content", 0), "lang": e.get("lang", "eng"),
        })
    return out


def in_window(events, start, end):
    """The events the time-window rule keeps: ending at or after start, starting at or
    before end (local times)."""
    return [e for e in events if e["end"] >= start and e["start"] <= end]
