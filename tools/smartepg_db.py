"""The SmartEPG TAP's database for an emulated PVR, written byte for byte from its layouts,
from the events of a world ("epg" section, emulator/WORLD.md).

Layouts (little-endian): a 20-byte header ("EPG_EDB" in 8 bytes, u32 version, u32 a value
of SmartEPG's own, u32 record count), then the records: u64 channel (logo ID) at 0, u32 time
stamp (packed UTC start) at 8, u32 local start at 12, u16 duration at 16, u32 text
references at 20 (name), 40 (description) and 60 (extended text), u8 genre (DVB order) at 64,
u32 event ID at 68. A text is a u32 length and the bytes (UTF-8 here).
  version 13: "Event.db" (120-byte records) and "EventExtDescr.db" (texts at absolute offsets)
  version 15: "EPGDB/<logo ID as 16 hex digits>.eventdb" per channel: header, 136-byte records,
              4 bytes, the texts (a reference r lies at r + 24 + count * 136)
Packed date: MJD << 16 | hour << 8 | minute.
"""
import datetime
import os
import struct
import zoneinfo

MJD_EPOCH = datetime.date(1858, 11, 17)
FOLDER = "mnt/hd/ProgramFiles/Settings/SmartEPG_TMS"
UTC = datetime.timezone.utc


def packed(moment):
    return (moment.date() - MJD_EPOCH).days << 16 | moment.hour << 8 | moment.minute


def logo_id(position, network, tsid, service):
    """The channel's logo ID: the low 32 bits sign-extended over position and network."""
    low = tsid << 16 | service
    if low & 0x80000000:
        return 0xFFFFFFFF00000000 | low
    return position << 48 | network << 32 | low


def service_logo_id(world, kind, number):
    """The logo ID of service number of kind (0 TV, 1 radio) of a world."""
    service = world["services"]["radio" if kind else "tv"][number]
    satellite = world["satellites"][service.get("satellite", 0)]
    transponder = satellite["transponders"][service.get("transponder", 0)]
    position = satellite.get("position", 0) if world.get("system_type", 5) == 5 else 0
    return logo_id(position, transponder.get("onid", 0), transponder.get("tsid", 0), service.get("service_id", 0))


def swap_nibbles(byte):
    return (byte << 4 | byte >> 4) & 0xFF


def world_events(world, shift_days=0, zone="Etc/GMT-1"):
    """The world's events of known services as SmartEPG keeps them: dicts with channel, UTC
    and local start, duration, texts (UTF-8), genre in DVB order and event ID."""
    tz = zoneinfo.ZoneInfo(zone)
    out = []
    for e in world.get("epg", {}).get("events", []):
        if "service" not in e:
            continue
        start = datetime.datetime.strptime(e["start"], "%Y-%m-%d %H:%M").replace(tzinfo=UTC)
        start += datetime.timedelta(days=shift_days)
        out.append({"channel": service_logo_id(world, e["service"].get("type", 0), e["service"]["number"]),
                    "utc": start.replace(tzinfo=None), "local": start.astimezone(tz).replace(tzinfo=None),
                    "duration": e["duration"], "name": e.get("name", "").encode(),
                    "description": e.get("description", "").encode(), "text": e.get("text", "").encode(),
                    "genre": swap_nibbles(e.get("content", 0)), "eventid": e.get("event_id", 0)})
    return out


def header(version, count):
    return b"EPG_EDB\0" + struct.pack("<III", version, 1, count)


def record(e, size, refs):
    rec = bytearray(size)
    struct.pack_into("<QIIH", rec, 0, e["channel"], packed(e["utc"]), packed(e["local"]), e["duration"])
    struct.pack_into("<I", rec, 20, refs[0])
    struct.pack_into("<I", rec, 40, refs[1])
    struct.pack_into("<I", rec, 60, refs[2])
    rec[64] = e["genre"]
    struct.pack_into("<I", rec, 68, e["eventid"])
    return bytes(rec)


def texts_and_refs(events, texts):
    refs = []
    for e in events:
        r = []
        for data in (e["name"], e["description"], e["text"]):
            r.append(len(texts))
            texts += struct.pack("<I", len(data)) + data
        refs.append(r)
    return refs


def v13_files(events):
    """(Event.db, EventExtDescr.db) of all events."""
    texts = bytearray(b"TXT0")
    refs = texts_and_refs(events, texts)
    records = b"".join(record(e, 120, r) for e, r in zip(events, refs))
    return header(13, len(events)) + records, bytes(texts)


def v15_file(events):
    """One channel's file: header, records, 4 bytes, then the texts."""
    texts = bytearray()
    refs = texts_and_refs(events, texts)
    records = b"".join(record(e, 136, r) for e, r in zip(events, refs))
    return header(15, len(events)) + records + bytes(4) + bytes(texts)


def write_file(path, data):
    """Writes through a temporary file renamed into place."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def write(root, events):
    """Both layouts of the database below an emulated root; the version-15 folder holds
    exactly the channels of events."""
    folder = os.path.join(root, FOLDER)
    event_db, ext_db = v13_files(events)
    write_file(os.path.join(folder, "Event.db"), event_db)
    write_file(os.path.join(folder, "EventExtDescr.db"), ext_db)
    by_channel = {}
    for e in events:
        by_channel.setdefault(e["channel"], []).append(e)
    v15 = os.path.join(folder, "EPGDB")
    os.makedirs(v15, exist_ok=True)
    for name in os.listdir(v15):
        if name.endswith(".eventdb"):
            os.remove(os.path.join(v15, name))
    for channel, group in by_channel.items():
        write_file(os.path.join(v15, "%016x.eventdb" % channel), v15_file(group))
