#!/usr/bin/python3
"""The demo PVR's world ("world.json", described in emulator/WORLD.md): satellites and
transponders from Debian's tuning tables (dtv-scan-tables, /usr/share/dvb), and invented
channels, providers, favourites groups and timers.

usage: demo_world.py OUTPUT [--system-type 5|6|7] [--date YYYY-MM-DD]
                     [--favourites-variant 1644|9424] [--timer-entry-size N]

The output depends only on its arguments: timers are placed on the days after --date
(default: today), and a week of EPG events for every channel starts on that day (UTC). The
EPG follows the emulated clock: pvrsim moves the week to the clock's day when it starts.
"""
import argparse
import datetime
import json
import os
import random
import sys

SCAN_TABLES = "/usr/share/dvb"
SEED = 2400

# Satellite model: scan table, name, position (tenths of a degree east; west is 3600 - x),
# network ID, first transport stream ID.
SATELLITES = [
    ("dvb-s/Hotbird-13.0E", "Hotbird 13.0E", 130, 0x013E, 0x0401),
    ("dvb-s/Astra-19.2E", "Astra 19.2E", 192, 0x0001, 0x0431),
    ("dvb-s/Astra-23.5E", "Astra 23.5E", 235, 0x0003, 0x0C01),
    ("dvb-s/Astra-28.2E", "Astra 28.2E", 282, 0x0002, 0x07D1),
    # Transport stream IDs from 0x8000 up: their channels' logo IDs are sign-extended.
    ("dvb-s/Hispasat-30.0W", "Hispasat 30.0W", 3600 - 300, 0x0031, 0x8001),
]
TERRESTRIAL = ("dvb-t/au-Sydney", "Sydney", 0x3201, 0x0201)
CABLE = ("dvb-c/de-iesy", "Cable", 0x0085, 0x0101)
TRANSPONDERS_PER_SATELLITE = 8

# Stored codes (WORLD.md): FEC, satellite modulation, cable modulation.
FEC = {"AUTO": 0, "1/2": 1, "2/3": 2, "3/4": 3, "5/6": 4, "7/8": 5, "8/9": 6, "3/5": 7,
       "4/5": 8, "9/10": 9, "NONE": 10}
SAT_MODULATION = {"QPSK": 1, "PSK/8": 2, "APSK/16": 3, "APSK/32": 3}
CABLE_MODULATION = {"QAM/16": 0, "QAM/32": 1, "QAM/64": 2, "QAM/128": 3, "QAM/256": 4}

PROVIDERS = [
    {"name": "Northwind Media"},
    {"name": "Lumière Groupe"},
    {"name": "Meadow Broadcasting"},
    {"name": "Vault Pictures"},
    {"name": "Αιγαίο Κύμα", "charset": "iso8859-7"},
    {"name": "Free Air Collective"},
]

# Invented channels: name, character table, provider, flags (s scrambled, l locked,
# k skip, d deleted, n name lock, h HD).
TV = [
    ("Northwind One", None, 0, "n"),
    ("Northwind Two", None, 0, ""),
    ("Harbour News 24", None, 0, ""),
    ("Café Lumière", None, 1, ""),
    ("Žižkov Kino", "iso8859-13", 5, ""),
    ("Κανάλι Ήλιος", "iso8859-7", 4, ""),
    ("Северный Экран", "iso8859-5", 5, ""),
    ("€uro Markt TV", "iso8859-15", 5, ""),
    ('Say "Cheese" TV', None, 2, ""),
    ("Back\\Slash Kids", None, 2, ""),
    ("Çay Saati TV", "iso8859-9", 5, ""),
    ("Ünïcode Plus", "utf-8", 5, ""),
    ("Meadow Sport", None, 2, ""),
    ("Meadow Sport HD", None, 2, "h"),
    ("Cinema Vault", None, 3, "s"),
    ("Late Night Vault", None, 3, "sl"),
    ("Quiet Hours", None, 5, "k"),
    ("Fjordkanalen Øst", None, 5, ""),
    ("Łódź Miasto TV", "iso8859-13", 5, ""),
    ("Polar Docs HD", None, 0, "h"),
    ("Kids Lagoon", None, 2, ""),
    ("Weather Window", None, 0, ""),
    ("Shopping Pier", None, None, ""),
    ("Old Test Card", None, None, "d"),
    ("Señal Raíz", "utf-8-raw", 5, ""),
]
RADIO = [
    ("Radio Driftwood", None, 0, ""),
    ("Klassik Welle", None, 5, ""),
    ("Jazz Kellerbar", None, 5, ""),
    ("Ραδιόφωνο Αιγαίο", "iso8859-7", 4, ""),
    ("Talk Harbour", None, 0, "l"),
]

FAVOURITES = [
    ("News", [(0, 2), (0, 21), (0, 0), (1, 4)]),
    ("Sport", [(0, 12), (0, 13)]),
    ("Films", [(0, 14), (0, 15), (0, 3), (0, 6)]),
    ("Kids", [(0, 20), (0, 9)]),
    ("Radio", [(1, 0), (1, 1), (1, 2), (1, 3)]),
    ("Europa", [(0, 4), (0, 5), (0, 6), (0, 7), (0, 10), (0, 17), (0, 18), (0, 24)]),
    ("Late Nights!", [(0, 15), (0, 16), (0, 8)]),
]


def read_scan_table(name):
    """The channels of one scan table: a list of {KEY: value} in file order."""
    path = os.path.join(SCAN_TABLES, name)
    if not os.path.exists(path):
        raise SystemExit("demo_world: %s is missing; install Debian's dtv-scan-tables "
                         "(tools/setup-deps.sh)" % path)
    channels = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                channels.append({})
            elif "=" in line and not line.startswith("#") and channels:
                key, value = line.split("=", 1)
                channels[-1][key.strip()] = value.strip()
    return channels


def satellite_transponder(ch, onid, tsid):
    return {
        "frequency": int(ch["FREQUENCY"]) // 1000,           # MHz
        "symbol_rate": int(ch.get("SYMBOL_RATE", 0)) // 1000,  # kS/s
        "polarisation": 0 if ch.get("POLARIZATION", "HORIZONTAL") in ("HORIZONTAL", "LEFT") else 1,
        "mod_system": 1 if ch.get("DELIVERY_SYSTEM") == "DVBS2" else 0,
        "modulation": SAT_MODULATION.get(ch.get("MODULATION", "QPSK"), 0),
        "fec": FEC.get(ch.get("INNER_FEC", "AUTO"), 0),
        "pilot": 0, "tsid": tsid, "onid": onid, "clock_sync": 0,
    }


def terrestrial_channel_number(khz):
    """The Australian VHF/UHF channel of a centre frequency (9A counts as 9)."""
    mhz = khz / 1000.0
    if mhz < 230:
        return [6, 7, 8, 9, 9, 10, 11, 12][max(0, min(7, round((mhz - 177.5) / 7)))]
    return 28 + round((mhz - 529.5) / 7)


def terrestrial_transponder(ch, onid, tsid):
    khz = int(ch["FREQUENCY"]) // 1000
    return {"channel_number": terrestrial_channel_number(khz),
            "bandwidth": int(ch.get("BANDWIDTH_HZ", 7000000)) // 1000000, "frequency": khz,
            "tsid": tsid, "lphp": 0, "onid": onid, "network_id": onid}


def cable_transponder(ch, onid, tsid):
    return {"frequency": int(ch["FREQUENCY"]) // 1000, "symbol_rate": int(ch["SYMBOL_RATE"]) // 1000,
            "tsid": tsid, "onid": onid, "modulation": CABLE_MODULATION.get(ch.get("MODULATION"), 2)}


def universal_lnb(port):
    return {"lnb_supply": 1, "diseqc10": port, "universal_lnb": 1, "switch22": 0,
            "low_band": 9750, "hb_frq": 10600, "diseqc12_flags": "000000", "loop_through": 0,
            "diseqc11": 0}


def satellites(system_type):
    if system_type == 5:
        sats = []
        for port, (table, name, position, onid, tsid) in enumerate(SATELLITES):
            channels = [c for c in read_scan_table(table) if c.get("FREQUENCY")][:TRANSPONDERS_PER_SATELLITE]
            sats.append({
                "name": name, "position": position,
                "lnb": [universal_lnb(port % 4), universal_lnb(port % 4)],
                "transponders": [satellite_transponder(c, onid, tsid + i) for i, c in enumerate(channels)]})
        return sats
    table, name, onid, tsid = TERRESTRIAL if system_type == 6 else CABLE
    make = terrestrial_transponder if system_type == 6 else cable_transponder
    channels = [c for c in read_scan_table(table) if c.get("FREQUENCY")]
    return [{"name": name, "transponders": [make(c, onid, tsid + i) for i, c in enumerate(channels)]}]


def services(sats, rng):
    """TV and radio services spread over the transponders, with their PIDs and IDs."""
    slots = [(s, t) for s, sat in enumerate(sats) for t in range(len(sat["transponders"]))]
    rng.shuffle(slots)
    out = {"tv": [], "radio": []}
    for kind, names in (("tv", TV), ("radio", RADIO)):
        for i, (name, charset, provider, flags) in enumerate(names):
            sat, tp = slots[(i + (0 if kind == "tv" else len(TV))) % len(slots)]
            pmt = 0x100 + 0x20 * i + (0x800 if kind == "radio" else 0)
            hd = "h" in flags
            svc = {
                "name": name, "provider": provider,
                "lcn": i + 1 if kind == "tv" else 101 + i,
                "service_id": (0x2000 if kind == "radio" else 0x1000) + 10 * i + rng.randrange(10),
                "pmt_pid": pmt, "pcr_pid": pmt + 1, "video_pid": 0 if kind == "radio" else pmt + 1,
                "audio_pid": pmt + 2,
                "video_stream_type": 0 if kind == "radio" else (0x1B if hd else 0x02),
                "audio_stream_type": 0x06 if hd else 0x04,
                "satellite": sat, "transponder": tp, "tuner": 0,
                "scrambled": "s" in flags, "locked": "l" in flags, "skip": "k" in flags,
                "deleted": "d" in flags, "name_lock": "n" in flags,
            }
            if charset:
                svc["charset"] = charset
            out[kind].append(svc)
    return out


def timers(base, world):
    day = lambda n, hhmm: (base + datetime.timedelta(days=n)).strftime("%Y-%m-%d ") + hhmm  # noqa: E731
    tv = world["services"]["tv"]
    radio = world["services"]["radio"]
    plan = [
        # service type, number, day, start, minutes, reservation type, record, EPG marker
        (0, 2, 1, "20:00", 30, 1, 1, 2),
        (0, 3, 1, "21:15", 105, 0, 1, 2),
        (0, 13, 2, "18:30", 120, 0, 1, 2),
        (1, 1, 2, "10:00", 60, 3, 1, 1),
        (0, 20, 3, "07:30", 15, 0, 0, 1),
        (0, 14, 4, "22:45", 95, 0, 1, 2),
    ]
    out = []
    for n, (kind, number, days, hhmm, minutes, rtype, rec, marker) in enumerate(plan):
        svc = (tv if kind == 0 else radio)[number]
        name = svc["name"] if svc.get("charset") in (None, "latin1") else "Timer %d" % (n + 1)
        timer = {
            "service_type": kind, "service_number": number, "start": day(days, hhmm),
            "duration": minutes, "file_name": name + ".rec" if rec else "", "is_rec": rec,
            "name_set": 0, "tuner": 3, "reservation_type": rtype, "epg_marker": marker,
            "event_id1": 0x10000 + 7 * n if marker == 2 else 0, "event_id2": 0,
        }
        out.append(timer)
    return out


# EPG programme catalogues: (name, short description, DVB genre (level 1 << 4 | level 2),
# minutes, parental rating). A channel draws its schedule from its catalogue.
CATALOGUES = {
    "general": [("Morning Light", "News, weather and guests", 0x20, 120, 0),
                ("Harbour Lives", "Drama at the docks", 0x15, 45, 11),
                ("Quiz Tide", "Three rounds, one winner", 0x31, 30, 0),
                ("The Long Table", "Cooking with the seasons", 0xA5, 30, 0),
                ("Evening Report", "The day's news", 0x20, 30, 0),
                ("Northern Skies", "A thriller in six parts", 0x11, 60, 13),
                ("Late Talk", "Conversation after dark", 0x33, 45, 11)],
    "news": [("News Hour", "Headlines from home and abroad", 0x20, 60, 0),
             ("Weather Watch", "The outlook for the week", 0x21, 15, 0),
             ("Market Report", "Shares, rates and prices", 0x82, 30, 0),
             ("World Desk", "Reports from our correspondents", 0x22, 45, 0),
             ("The Debate", "Four voices, one question", 0x24, 60, 0)],
    "films": [("Le Café du Port", "Comédie romantique, 1962", 0x14, 95, 11),
              ("Westward Dust", "A western in black and white", 0x12, 110, 13),
              ("Station Eleven Lights", "Science fiction, 1978", 0x13, 120, 13),
              ("A Quiet Garden", "Drama in a village", 0x10, 90, 9),
              ("Night Train", "Detective thriller", 0x11, 105, 15)],
    "kids": [("Puddle Friends", "Cartoons for the very young", 0x55, 15, 0),
             ("Lagoon Lab", "Science for curious minds", 0x54, 30, 0),
             ("Treehouse Club", "Stories and songs", 0x51, 30, 0),
             ("Pixel Pirates", "Animated adventure", 0x55, 25, 9)],
    "sport": [("Matchday Live", "Football from the top league", 0x43, 120, 0),
              ("Court Side", "Tennis highlights", 0x44, 60, 0),
              ("Motor Weekly", "Racing news", 0x47, 30, 0),
              ("Sports Desk", "Results and interviews", 0x42, 30, 0)],
    "docs": [("Ice and Light", "Life at the polar circle", 0x91, 60, 0),
             ("Machines of the Sea", "Engineering under water", 0x92, 50, 0),
             ("Far Roads", "A journey through the Andes", 0x94, 55, 0)],
    "shopping": [("Deal Hour", "Offers of the day", 0xA6, 60, 0),
                 ("Kitchen Corner", "Gadgets for the cook", 0xA6, 30, 0)],
    "music": [("Morning Tunes", "Pop and rock", 0x61, 120, 0),
              ("Concert Hall", "Classical recordings", 0x62, 90, 0),
              ("Cellar Jazz", "Live from the cellar", 0x64, 60, 0),
              ("Talk of the Harbour", "Phone-in and chat", 0x33, 60, 0)],
    "weather": [("Weather Window", "The forecast on the hour", 0x21, 30, 0)],
    "night": [("Vault Classics", "Horror double bill", 0x13, 100, 18),
              ("After Midnight", "Adult drama", 0x18, 90, 18)],
}
# Channels whose schedules speak their own language (character table of their name).
LOCAL_CATALOGUES = {
    "iso8859-7": [("Ειδήσεις", "Τα νέα της ημέρας", 0x20, 30, 0),
                  ("Ταινία: Ο Ήλιος", "Δράμα, 1975", 0x10, 100, 11),
                  ("Μουσική Βραδιά", "Λαϊκά τραγούδια", 0x63, 60, 0)],
    "iso8859-5": [("Новости", "Главное за день", 0x20, 30, 0),
                  ("Фильм: Северный ветер", "Драма", 0x10, 95, 13),
                  ("Мультфильмы", "Для детей", 0x55, 30, 0)],
    "iso8859-9": [("Haberler", "Günün haberleri", 0x20, 30, 0),
                  ("Çay Saati Sohbet", "Konuklarla söyleşi", 0x33, 60, 0)],
    "iso8859-13": [("Žinios", "Dienos naujienos", 0x20, 30, 0),
                   ("Łódź nocą", "Filmas apie miestą", 0x23, 60, 11)],
    "iso8859-15": [("€uro Angebote", "Schnäppchen des Tages", 0xA6, 60, 0)],
    "utf-8": [("Ünïcode Nachrichten", "Αλφα, Бета, 日本 ☀", 0x20, 30, 0),
              ("Reise: 東京 → Kyōto", "Eine Zugfahrt", 0xA1, 60, 0)],
    "utf-8-raw": [("Noticias", "Lo más importante del día", 0x20, 30, 0),
                  ("Película: Raíces", "Drama, 1984", 0x10, 100, 11)],
}
TV_THEMES = ["general", "general", "news", "films", "films", "general", "films", "shopping", "general", "kids",
             "general", "general", "sport", "sport", "films", "night", "docs", "general", "general", "docs", "kids",
             "weather", "shopping", None, "general"]
EPG_DAYS = 7


def swapped(genre):
    """The content byte as the PVR's firmware keeps it: the DVB nibbles swapped."""
    return (genre & 0x0F) << 4 | genre >> 4


# Python's codec of each character table, and the language of the channels using it.
CODECS = {"latin1": "latin-1", "iso8859-5": "iso8859_5", "iso8859-7": "iso8859_7", "iso8859-9": "iso8859_9",
          "iso8859-13": "iso8859_13", "iso8859-15": "iso8859_15", "utf-8": "utf-8", "utf-8-raw": "utf-8"}
LANGUAGES = {"iso8859-5": "rus", "iso8859-7": "gre", "iso8859-9": "tur", "iso8859-13": "lit", "utf-8-raw": "spa"}


def writable(texts, charset):
    try:
        for text in texts:
            text.encode(CODECS[charset])
        return True
    except UnicodeEncodeError:
        return False


def channel_schedule(service, theme):
    """A catalogue for a channel: its own language where it has one, then its theme's
    programmes that its character table can write."""
    charset = service.get("charset", "latin1")
    catalogue = LOCAL_CATALOGUES.get(charset, []) + CATALOGUES[theme]
    return [entry for entry in catalogue if writable(entry[:2], charset)]


def epg(world, base, rng):
    """A week of events from base (UTC midnight) for every channel that is not deleted, in
    the order a PVR gathers them from the broadcast (not in time order)."""
    events = []
    kinds = [(0, s, TV_THEMES[i]) for i, s in enumerate(world["services"]["tv"])]
    kinds += [(1, s, "music") for s in world["services"]["radio"]]
    numbers = {0: 0, 1: 0}
    for kind, service, theme in kinds:
        number = numbers[kind]
        numbers[kind] += 1
        if theme is None or service.get("deleted"):
            continue
        catalogue = channel_schedule(service, theme)
        charset = service.get("charset", "latin1")
        at = datetime.datetime.combine(base, datetime.time()) - datetime.timedelta(minutes=rng.choice((0, 15, 30)))
        end = datetime.datetime.combine(base, datetime.time()) + datetime.timedelta(days=EPG_DAYS)
        event_id = 0x1000 + 0x100 * number + 0x2000 * kind
        episode = 0
        while at < end:
            name, description, genre, minutes, parental = rng.choice(catalogue)
            episode += 1
            event = {"service": {"type": kind, "number": number}, "start": at.strftime("%Y-%m-%d %H:%M"),
                     "duration": minutes, "event_id": event_id & 0xFFFF, "name": name,
                     "description": description, "content": swapped(genre), "sourceflag": 1,
                     "parental": parental, "lang": LANGUAGES.get(charset, "eng")}
            if charset != "latin1":
                event["charset"] = charset
            if episode % 3 == 0:
                event["text"] = (f"{description}. Episode {episode}. " +
                                 "With \"quotes\", a back\\slash and a tab\tin the text. " * (episode % 4))
            events.append(event)
            event_id += 1
            at += datetime.timedelta(minutes=minutes)
    rng.shuffle(events)
    return {"base_date": base.isoformat(), "follow_clock": True, "events": events}


def build(system_type=5, date=None, favourites_variant=None, timer_entry_size=None):
    """The demo world of a system type (5 satellite, 6 terrestrial, 7 cable)."""
    if system_type not in (5, 6, 7):
        raise ValueError("system type 5, 6 or 7")
    rng = random.Random(SEED + system_type)
    base = date or datetime.date.today()
    world = {
        "format": 1,
        "system_type": system_type,
        "favourites_variant": favourites_variant or (1644 if system_type == 6 else 9424),
        "timer_entry_size": timer_entry_size or (360 if system_type == 6 else 200),
        "current_channel": {"type": 0, "number": 0},
        "satellites": satellites(system_type),
        "providers": PROVIDERS,
    }
    world["services"] = services(world["satellites"], rng)
    groups, entries = (10, 50) if world["favourites_variant"] == 1644 else (30, 100)
    world["favourites"] = {
        "selected": 0,
        "groups": [{"name": name, "services": [{"type": t, "number": n} for t, n in members[:entries]]}
                   for name, members in FAVOURITES[:groups]],
    }
    world["timers"] = timers(base, world)
    world["epg"] = epg(world, base, random.Random(SEED + 100 + system_type))
    return world


def write(path, world):
    """Writes the world through a temporary file renamed into place."""
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump(world, f, indent=1, ensure_ascii=False)
        f.write("\n")
    os.replace(temporary, path)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("output")
    ap.add_argument("--system-type", type=int, default=5, choices=(5, 6, 7))
    ap.add_argument("--date", type=datetime.date.fromisoformat)
    ap.add_argument("--favourites-variant", type=int, choices=(1644, 9424))
    ap.add_argument("--timer-entry-size", type=int)
    args = ap.parse_args()
    write(args.output, build(args.system_type, args.date, args.favourites_variant, args.timer_entry_size))
    return 0


if __name__ == "__main__":
    sys.exit(main())
