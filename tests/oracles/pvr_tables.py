#!/usr/bin/python3
"""The emulated PVR's firmware tables, written from a world file ("world.json") and read
back, byte for byte at the firmware's offsets. It shares no code with the C++ decoders of
the support layer, so the tests can hold one against the other.

usage:
  pvr_tables.py encode WORLD [--table NAME] [--interleave]   hex of one table, or with
                                                             no --table all tables as JSON
  pvr_tables.py decode TABLES                                world JSON from `encode` output
  pvr_tables.py check WORLD...                               encode, decode, encode again

WORLD and TABLES may be "-" for standard input. Table names: tvSvc, radioSvc, svcName,
providerInfo, satInfo, tpInfo, favGrp, applEepromAddr, timer.
"""
import argparse
import datetime
import json
import struct
import sys

SATELLITE, TERRESTRIAL, CABLE = 5, 6, 7
SERVICE_ENTRY = 32
PROVIDER_ENTRY = 21
PROVIDER_ENTRIES = 256
NO_PROVIDER = 0xFFFF
SAT_ENTRY = 84
TP_ENTRY = {SATELLITE: 16, TERRESTRIAL: 16, CABLE: 12}
# favourites block size: groups, entries per group, group size
FAV_VARIANTS = {1644: (10, 50, 164), 9424: (30, 100, 314)}
SETTINGS_SIZE = 64
SETTINGS_FAV_GROUP = 18
NO_GROUP = 255
TIMER_FILE_NAME = 131
MJD_EPOCH = datetime.date(1858, 11, 17)
TABLES = ("tvSvc", "radioSvc", "svcName", "providerInfo", "satInfo", "tpInfo", "favGrp",
          "applEepromAddr", "timer")


class WorldError(Exception):
    pass


# ---------------------------------------------------------------------------------------
# Texts in the PVR's character tables


def pvr_text(name, charset="latin1"):
    """The PVR's bytes of a name: a table selector (none for the default table) and the
    name in that table."""
    charset = (charset or "latin1").lower()
    if charset == "latin1":
        return name.encode("latin-1")
    if charset == "utf-8":
        return b"\x15" + name.encode("utf-8")
    if charset == "utf-8-raw":   # as a firmware that works in UTF-8 keeps names
        return name.encode("utf-8")
    # Tables with a one-byte selector only: the three-byte one (0x10 0x00 n) holds a zero
    # byte, which would end the name in the firmware's zero-terminated name fields.
    if charset.startswith("iso8859-") and charset[8:].isdigit():
        n = int(charset[8:])
        if 5 <= n <= 15 and n != 12:
            return bytes([n - 4]) + name.encode("iso8859_%d" % n)
    raise WorldError("character table %r cannot be stored in a name" % charset)


def read_pvr_text(raw):
    """(name, charset) of the PVR's bytes of a name."""
    if raw[:1] == b"\x15":
        return raw[1:].decode("utf-8"), "utf-8"
    if raw[:1] and 1 <= raw[0] <= 11 and raw[0] != 8:
        return raw[1:].decode("iso8859_%d" % (raw[0] + 4)), "iso8859-%d" % (raw[0] + 4)
    if not raw.isascii():
        try:
            return raw.decode("utf-8"), "utf-8-raw"
        except UnicodeDecodeError:
            pass
    return raw.decode("latin-1"), "latin1"


def fixed_field(raw, size):
    """raw cut or padded with zeros to a field of size bytes (no terminator when full)."""
    return raw[:size] + bytes(max(0, size - len(raw)))


def field_text(raw):
    """The text of a fixed field: up to its first zero byte."""
    return raw.split(b"\0", 1)[0]


def hex_bytes(value, size):
    raw = bytes.fromhex(value or "")
    if len(raw) > size:
        raise WorldError("%r holds more than %d bytes" % (value, size))
    return fixed_field(raw, size)


# ---------------------------------------------------------------------------------------
# PVR dates: MJD in bits 31..16, hour in 15..8, minute in 7..0


def pvr_date(text):
    t = datetime.datetime.strptime(text, "%Y-%m-%d %H:%M")
    return (t.date() - MJD_EPOCH).days << 16 | t.hour << 8 | t.minute


def pvr_date_text(value):
    day = MJD_EPOCH + datetime.timedelta(days=value >> 16)
    return "%s %02d:%02d" % (day.isoformat(), value >> 8 & 0xFF, value & 0xFF)


def add_minutes(value, minutes):
    day = MJD_EPOCH + datetime.timedelta(days=value >> 16)
    t = datetime.datetime.combine(day, datetime.time(value >> 8 & 0xFF, value & 0xFF))
    return pvr_date((t + datetime.timedelta(minutes=minutes)).strftime("%Y-%m-%d %H:%M"))


# ---------------------------------------------------------------------------------------
# Transponders


def encode_transponder(system_type, tp, sat_index=0):
    """One transponder entry of the "_tpInfo" layout of the system type."""
    g = lambda key: int(tp.get(key, 0))  # noqa: E731
    if system_type == SATELLITE:
        out = bytearray(16)
        fec = g("fec")
        out[0] = sat_index & 0xFF
        out[1] = (g("polarisation") & 1 | (g("unused1") & 7) << 1 | (g("mod_system") & 1) << 4
                  | (g("modulation") & 3) << 5 | (fec & 1) << 7)
        out[2] = fec >> 1 & 7 | (g("pilot") & 1) << 3 | (g("unused2") & 15) << 4
        out[3] = g("unused3") & 0xFF
        struct.pack_into("<IHHHH", out, 4, g("frequency"), g("symbol_rate"), g("tsid"),
                         g("clock_sync") & 1 | (g("unused4") & 0x7FFF) << 1, g("onid"))
        return bytes(out)
    if system_type == TERRESTRIAL:
        return struct.pack("<BBBBIHBBHH", sat_index & 0xFF, g("channel_number"), g("bandwidth"),
                           g("unused1"), g("frequency"), g("tsid"), g("lphp"), g("unused2"),
                           g("onid"), g("network_id"))
    if system_type == CABLE:
        return struct.pack("<IHHHBB", (g("frequency") & 0xFFFFFF) << 8, g("symbol_rate"), g("tsid"),
                           g("onid"), g("modulation"), g("unused1"))
    raise WorldError("unknown system type %r" % system_type)


def decode_transponder(system_type, raw):
    """(satellite index, transponder object) of one "_tpInfo" entry."""
    if system_type == SATELLITE:
        freq, sr, tsid, w12, onid = struct.unpack_from("<IHHHH", raw, 4)
        return raw[0], {
            "frequency": freq, "symbol_rate": sr, "polarisation": raw[1] & 1,
            "modulation": raw[1] >> 5 & 3, "mod_system": raw[1] >> 4 & 1,
            "fec": raw[1] >> 7 | (raw[2] & 7) << 1, "pilot": raw[2] >> 3 & 1,
            "tsid": tsid, "onid": onid, "clock_sync": w12 & 1,
            "unused1": raw[1] >> 1 & 7, "unused2": raw[2] >> 4, "unused3": raw[3],
            "unused4": w12 >> 1}
    if system_type == TERRESTRIAL:
        sat, ch, bw, u1, freq, tsid, lphp, u2, onid, nid = struct.unpack("<BBBBIHBBHH", raw)
        return sat, {"channel_number": ch, "bandwidth": bw, "frequency": freq, "tsid": tsid,
                     "lphp": lphp, "onid": onid, "network_id": nid, "unused1": u1, "unused2": u2}
    freq, sr, tsid, onid, mod, u1 = struct.unpack("<IHHHBB", raw)
    return 0, {"frequency": freq >> 8, "symbol_rate": sr, "tsid": tsid, "onid": onid,
               "modulation": mod, "unused1": u1}


# ---------------------------------------------------------------------------------------
# Satellites


def encode_lnb(lnb):
    g = lambda key: int(lnb.get(key, 0))  # noqa: E731
    out = bytearray(16)
    struct.pack_into("<I", out, 0, g("lnb_supply") & 1 | (g("unused1") & 1) << 1
                     | (g("diseqc10") & 7) << 2 | (g("unused2") & 7) << 5 | (g("diseqc12") & 0xFF) << 8
                     | (g("universal_lnb") & 1) << 16 | (g("switch22") & 1) << 17
                     | (g("low_band") & 0x3FFF) << 18)
    struct.pack_into("<H", out, 4, g("hb_frq"))
    out[6:9] = hex_bytes(lnb.get("diseqc12_flags"), 3)
    out[9] = g("unused3") & 0x3F | (g("loop_through") & 1) << 6 | (g("unused4") & 1) << 7
    out[10] = g("diseqc11") & 0xFF
    out[11:16] = hex_bytes(lnb.get("unused5"), 5)
    return bytes(out)


def decode_lnb(raw):
    w = struct.unpack_from("<I", raw)[0]
    return {"lnb_supply": w & 1, "unused1": w >> 1 & 1, "diseqc10": w >> 2 & 7,
            "unused2": w >> 5 & 7, "diseqc12": w >> 8 & 0xFF, "universal_lnb": w >> 16 & 1,
            "switch22": w >> 17 & 1, "low_band": w >> 18, "hb_frq": struct.unpack_from("<H", raw, 4)[0],
            "diseqc12_flags": raw[6:9].hex(), "unused3": raw[9] & 0x3F,
            "loop_through": raw[9] >> 6 & 1, "unused4": raw[9] >> 7, "diseqc11": raw[10],
            "unused5": raw[11:16].hex()}


def encode_satellite(sat):
    """One 84-byte "_satInfo" entry of a satellite model."""
    out = bytearray(SAT_ENTRY)
    count = sat.get("transponder_count", len(sat.get("transponders", [])))
    struct.pack_into("<HH", out, 0, count, int(sat.get("unused1", 0)))
    out[4:20] = fixed_field(pvr_text(sat.get("name", ""), sat.get("charset")), 16)
    lnbs = sat.get("lnb", [])
    for i in range(2):
        out[20 + 16 * i:36 + 16 * i] = encode_lnb(lnbs[i] if i < len(lnbs) else {})
    out[52:74] = hex_bytes(sat.get("unknown1"), 22)
    struct.pack_into("<H", out, 74, int(sat.get("position", 0)))
    out[76:84] = hex_bytes(sat.get("unused2"), 8)
    return bytes(out)


def decode_satellite(raw):
    count, unused1 = struct.unpack_from("<HH", raw)
    name, charset = read_pvr_text(field_text(raw[4:20]))
    sat = {"name": name, "charset": charset, "position": struct.unpack_from("<H", raw, 74)[0],
           "unused1": unused1, "lnb": [decode_lnb(raw[20:36]), decode_lnb(raw[36:52])],
           "unknown1": raw[52:74].hex(), "unused2": raw[76:84].hex()}
    return count, sat


# ---------------------------------------------------------------------------------------
# The world's tables


class World:
    """A world file with the lookups the encoders need."""

    def __init__(self, world):
        self.world = world
        self.system_type = int(world.get("system_type", SATELLITE))
        if self.system_type not in TP_ENTRY:
            raise WorldError("system type %r has no table layout" % self.system_type)
        self.satellites = world.get("satellites", [])
        if self.system_type != SATELLITE and len(self.satellites) != 1:
            raise WorldError("a terrestrial or cable world has exactly one satellite entry")
        self.services = [world.get("services", {}).get("tv", []),
                         world.get("services", {}).get("radio", [])]
        self.fav_size = int(world.get("favourites_variant", 9424))
        if self.fav_size not in FAV_VARIANTS:
            raise WorldError("favourites variant must be 1644 or 9424")
        self.timer_size = int(world.get("timer_entry_size", 200))
        if self.system_type == TERRESTRIAL:
            if self.timer_size != 200 and self.timer_size < 208:
                raise WorldError("a terrestrial timer entry has 200, 360 or at least 208 bytes")
        elif self.timer_size != 200:
            raise WorldError("timer entries of this system type have 200 bytes")

    def transponder(self, sat_index, tp_index):
        if not 0 <= sat_index < len(self.satellites):
            raise WorldError("no satellite %d" % sat_index)
        tps = self.satellites[sat_index].get("transponders", [])
        if not 0 <= tp_index < len(tps):
            raise WorldError("no transponder %d on satellite %d" % (tp_index, sat_index))
        return tps[tp_index]

    # -- services, names, providers

    def name_block(self):
        """The name block and each service's offset in it, TV first."""
        block = bytearray()
        offsets = [[], []]
        for kind in (0, 1):
            for svc in self.services[kind]:
                if "name_offset" in svc:
                    offsets[kind].append(int(svc["name_offset"]))
                    continue
                offsets[kind].append(len(block))
                block += pvr_text(svc.get("name", ""), svc.get("charset")) + b"\0"
        return bytes(block), offsets

    def service_table(self, kind):
        _, offsets = self.name_block()
        out = bytearray()
        for svc, name_offset in zip(self.services[kind], offsets[kind]):
            g = lambda key, default=0: int(svc.get(key, default))  # noqa: E731
            provider = svc.get("provider")
            word0 = (g("satellite") & 0xFF | (g("video_stream_type") & 0xFF) << 8
                     | (g("transponder") & 0x3FF) << 16 | (g("tuner") & 3) << 26
                     | bool(svc.get("skip")) << 28 | bool(svc.get("locked")) << 29
                     | bool(svc.get("scrambled")) << 30 | bool(svc.get("deleted")) << 31)
            out += struct.pack("<IHHHHHHIHH", word0, g("service_id"), g("pmt_pid"), g("pcr_pid"),
                               g("video_pid"), g("audio_pid"),
                               bool(svc.get("name_lock")) | (g("flags2") & 0x7FFF) << 1,
                               name_offset, NO_PROVIDER if provider is None else int(provider),
                               g("lcn"))
            out += hex_bytes(svc.get("unknown2"), 6)
            out += struct.pack("<H", g("audio_stream_type"))
        return bytes(out)

    def provider_table(self):
        out = bytearray(PROVIDER_ENTRY * PROVIDER_ENTRIES)
        providers = self.world.get("providers", [])
        if len(providers) > PROVIDER_ENTRIES:
            raise WorldError("at most %d providers" % PROVIDER_ENTRIES)
        for i, p in enumerate(providers):
            p = {"name": p} if isinstance(p, str) else p
            out[i * PROVIDER_ENTRY:(i + 1) * PROVIDER_ENTRY] = fixed_field(
                pvr_text(p.get("name", ""), p.get("charset")), PROVIDER_ENTRY)
        return bytes(out)

    # -- satellites and transponders

    def sat_table(self):
        if self.system_type == SATELLITE:
            # The entries, then an empty one that ends the list.
            return b"".join(encode_satellite(s) for s in self.satellites) + bytes(SAT_ENTRY)
        sat = self.satellites[0]
        out = bytearray(SAT_ENTRY)
        struct.pack_into("<H", out, 0, sat.get("transponder_count", len(sat.get("transponders", []))))
        if self.system_type == TERRESTRIAL:
            out[2:18] = fixed_field(pvr_text(sat.get("name", ""), sat.get("charset")), 16)
        return bytes(out)

    def tp_table(self, interleave=False):
        st = self.system_type
        if st != SATELLITE:
            return b"".join(encode_transponder(st, tp) for tp in self.satellites[0].get("transponders", []))
        lists = [[encode_transponder(st, tp, s) for tp in sat.get("transponders", [])]
                 for s, sat in enumerate(self.satellites)]
        if interleave:
            # Round robin over the satellites: the n-th entry of a satellite is found by
            # counting its own entries only.
            entries = [lst[i] for i in range(max(map(len, lists), default=0)) for lst in lists if i < len(lst)]
        else:
            entries = [e for lst in lists for e in lst]
        return struct.pack("<I", len(entries)) + b"".join(entries)

    # -- favourites and settings

    def fav_table(self):
        groups, entries, group_size = FAV_VARIANTS[self.fav_size]
        fav = self.world.get("favourites", {})
        out = bytearray(self.fav_size)
        listed = fav.get("groups", [])
        if len(listed) > groups:
            raise WorldError("this favourites variant holds %d groups" % groups)
        for g, group in enumerate(listed):
            base = g * group_size
            services = group.get("services", [])
            if len(services) > entries:
                raise WorldError("group %r has more than %d entries" % (group.get("name"), entries))
            out[base:base + 12] = fixed_field(pvr_text(group.get("name", ""), group.get("charset")), 12)
            for i, s in enumerate(services):
                struct.pack_into("<H", out, base + 12 + 2 * i, int(s["number"]))
                out[base + 12 + 2 * entries + i] = int(s["type"])
            out[base + 12 + 3 * entries] = int(group.get("count", len(services)))
            out[base + 13 + 3 * entries] = int(group.get("extra", 0))
        return bytes(out)

    def settings_block(self):
        out = bytearray(SETTINGS_SIZE)
        selected = self.world.get("favourites", {}).get("selected")
        out[SETTINGS_FAV_GROUP] = NO_GROUP if selected is None else int(selected)
        return bytes(out)

    # -- timers

    def timer_transponder_offset(self):
        if self.system_type == TERRESTRIAL and self.timer_size != 200:
            return 344 if self.timer_size == 360 else 192
        return 184

    def spare_ranges(self):
        """Byte ranges of a timer entry that no field covers."""
        if self.system_type == CABLE:
            return [(196, 200)]
        if self.system_type == TERRESTRIAL and self.timer_size == 360:
            return [(192, 344)]
        if self.system_type == TERRESTRIAL and self.timer_size != 200:
            return [(208, self.timer_size)]
        return []

    def timer_entry(self, timer):
        g = lambda key, default=0: int(timer.get(key, default))  # noqa: E731
        svc_type = g("service_type")
        svc_num = g("service_number")
        analogue = g("analogue_type")
        # Fields the firmware takes from the timer's service, unless the timer gives them.
        services = self.services[svc_type & 1]
        svc = services[svc_num] if not analogue and 0 <= svc_num < len(services) else {}
        sat_index = g("satellite", svc.get("satellite", 0))
        start = pvr_date(timer["start"])
        end = pvr_date(timer["end"]) if "end" in timer else add_minutes(start, g("duration"))
        out = bytearray(self.timer_size)
        out[0] = g("tuner", 3)
        out[1] = g("rec_mode") & 7 | (g("demux_path") & 3) << 3 | (g("manual_rec") & 1) << 5 | (g("unused1") & 3) << 6
        out[2] = sat_index & 0xFF
        out[3] = svc_type & 1 | (g("reservation_type") & 7) << 1 | (g("unused2") & 15) << 4
        struct.pack_into("<HHB", out, 4, g("service_id", svc.get("service_id", 0)), g("duration"), g("unused3"))
        out[9:140] = fixed_field(pvr_text(timer.get("file_name", ""), timer.get("charset")), TIMER_FILE_NAME)
        struct.pack_into("<IIHBBBBHIIIH", out, 140, start, end, g("pmt_pid", svc.get("pmt_pid", 0)),
                         g("is_rec", 1), g("name_set"), g("unused4"), g("epg_marker"), g("unused5"),
                         g("unknown1"), g("event_id1"), g("event_id2"), svc_num)
        unused8 = bytearray(hex_bytes(timer.get("unused8"), 8))
        if "analogue_type" in timer:
            unused8[6] = analogue
        out[170:178] = unused8
        out[178] = g("icetv")
        unused9 = hex_bytes(timer.get("unused9"), 13)
        at = self.timer_transponder_offset()
        out[179:179 + (13 if at != 184 else 5)] = unused9[:13 if at != 184 else 5]
        tp = timer.get("transponder")
        if tp is None:
            tp = self.transponder(sat_index, int(svc.get("transponder", 0))) if svc else {}
        part = self.timer_transponder(tp, sat_index)
        out[at:at + len(part)] = part
        spare = bytes.fromhex(timer.get("spare_bytes", ""))
        for lo, hi in self.spare_ranges():
            out[lo:hi] = fixed_field(spare[:hi - lo], hi - lo)
            spare = spare[hi - lo:]
        return bytes(out)

    def timer_transponder(self, tp, sat_index):
        if self.system_type == CABLE:
            g = lambda key: int(tp.get(key, 0))  # noqa: E731
            return struct.pack("<IHHHBB", g("frequency"), g("symbol_rate"), g("tsid"), g("onid"),
                               g("modulation"), g("unused1"))
        return encode_transponder(self.system_type, tp, tp.get("sat_index", sat_index))

    def timer_table(self):
        return b"".join(self.timer_entry(t) for t in self.world.get("timers", []))

    # -- everything

    def tables(self, interleave=False):
        names, _ = self.name_block()
        return {
            "tvSvc": self.service_table(0),
            "radioSvc": self.service_table(1),
            "svcName": names,
            "providerInfo": self.provider_table(),
            "satInfo": self.sat_table(),
            "tpInfo": self.tp_table(interleave),
            "favGrp": self.fav_table(),
            "applEepromAddr": self.settings_block(),
            "timer": self.timer_table(),
        }


def encode(world, interleave=False):
    """All tables of a world: {"system_type", "timer_entry_size", "favourites_distance",
    "tables": {name: bytes}}."""
    w = World(world)
    return {"system_type": w.system_type, "timer_entry_size": w.timer_size,
            "favourites_distance": w.fav_size, "tables": w.tables(interleave)}


# ---------------------------------------------------------------------------------------
# Reading the tables back into a world


def decode_service(raw, names):
    word0, sid, pmt, pcr, vpid, apid, flags, name_offset, provider, lcn = struct.unpack_from("<IHHHHHHIHH", raw)
    name, charset = read_pvr_text(field_text(names[name_offset:]))
    return {
        "name": name, "charset": charset, "provider": None if provider == NO_PROVIDER else provider,
        "lcn": lcn, "service_id": sid, "pmt_pid": pmt, "pcr_pid": pcr, "video_pid": vpid,
        "audio_pid": apid, "video_stream_type": word0 >> 8 & 0xFF,
        "audio_stream_type": struct.unpack_from("<H", raw, 30)[0], "satellite": word0 & 0xFF,
        "transponder": word0 >> 16 & 0x3FF, "tuner": word0 >> 26 & 3,
        "scrambled": bool(word0 >> 30 & 1), "locked": bool(word0 >> 29 & 1),
        "skip": bool(word0 >> 28 & 1), "deleted": bool(word0 >> 31), "name_lock": bool(flags & 1),
        "flags2": flags >> 1, "unknown2": raw[24:30].hex()}


def decode_timer(raw, system_type, size):
    w = World({"system_type": system_type, "timer_entry_size": size, "satellites": [{}]})
    start, end, pmt, is_rec, name_set, u4, marker, u5, unk1, ev1, ev2, svc_num = struct.unpack_from(
        "<IIHBBBBHIIIH", raw, 140)
    name, charset = read_pvr_text(field_text(raw[9:140]))
    at = w.timer_transponder_offset()
    if system_type == CABLE:
        freq, sr, tsid, onid, mod, u1 = struct.unpack_from("<IHHHBB", raw, 184)
        tp = {"frequency": freq, "symbol_rate": sr, "tsid": tsid, "onid": onid, "modulation": mod, "unused1": u1}
    else:
        sat, tp = decode_transponder(system_type, raw[at:at + 16])
        tp["sat_index"] = sat
    timer = {
        "service_type": raw[3] & 1, "service_number": svc_num, "start": pvr_date_text(start),
        "end": pvr_date_text(end), "duration": struct.unpack_from("<H", raw, 6)[0],
        "file_name": name, "charset": charset, "is_rec": is_rec, "name_set": name_set,
        "tuner": raw[0], "rec_mode": raw[1] & 7, "demux_path": raw[1] >> 3 & 3,
        "manual_rec": raw[1] >> 5 & 1, "unused1": raw[1] >> 6, "satellite": raw[2],
        "reservation_type": raw[3] >> 1 & 7, "unused2": raw[3] >> 4,
        "service_id": struct.unpack_from("<H", raw, 4)[0], "unused3": raw[8], "pmt_pid": pmt,
        "unused4": u4, "epg_marker": marker, "unused5": u5, "unknown1": unk1, "event_id1": ev1,
        "event_id2": ev2, "analogue_type": raw[176], "unused8": raw[170:178].hex(), "icetv": raw[178],
        "unused9": fixed_field(raw[179:184 if at == 184 else 192], 13).hex(), "transponder": tp,
        "spare_bytes": b"".join(raw[lo:hi] for lo, hi in w.spare_ranges()).hex()}
    return timer


def decode(encoded):
    """The world that the tables of `encode` describe (names, numbers and every field)."""
    st = encoded["system_type"]
    size = encoded["timer_entry_size"]
    t = encoded["tables"]
    names, providers = t["svcName"], t["providerInfo"]
    world = {"format": 1, "system_type": st, "favourites_variant": encoded["favourites_distance"],
             "timer_entry_size": size}

    provider_list = []
    for i in range(PROVIDER_ENTRIES):
        raw = field_text(providers[i * PROVIDER_ENTRY:(i + 1) * PROVIDER_ENTRY])
        name, charset = read_pvr_text(raw)
        provider_list.append({"name": name, "charset": charset})
    while provider_list and not provider_list[-1]["name"]:
        provider_list.pop()
    world["providers"] = provider_list

    entry = TP_ENTRY[st]
    sats = []
    if st == SATELLITE:
        count = struct.unpack_from("<I", t["tpInfo"])[0]
        tps = [decode_transponder(st, t["tpInfo"][4 + i * entry:4 + (i + 1) * entry]) for i in range(count)]
        for i in range(len(t["satInfo"]) // SAT_ENTRY):
            raw = t["satInfo"][i * SAT_ENTRY:(i + 1) * SAT_ENTRY]
            if raw[4] == 0:
                break
            tp_count, sat = decode_satellite(raw)
            sat["transponders"] = [tp for s, tp in tps if s == i]
            if tp_count != len(sat["transponders"]):
                sat["transponder_count"] = tp_count
            sats.append(sat)
    else:
        tp_count = struct.unpack_from("<H", t["satInfo"])[0]
        sat = {"name": "Cable", "charset": "latin1"}
        if st == TERRESTRIAL:
            sat["name"], sat["charset"] = read_pvr_text(field_text(t["satInfo"][2:18]))
        raw_tps = t["tpInfo"]
        sat["transponders"] = [decode_transponder(st, raw_tps[i * entry:(i + 1) * entry])[1]
                               for i in range(len(raw_tps) // entry)]
        if tp_count != len(sat["transponders"]):
            sat["transponder_count"] = tp_count
        sats.append(sat)
    world["satellites"] = sats

    world["services"] = {
        kind: [decode_service(t[table][i:i + SERVICE_ENTRY], names)
               for i in range(0, len(t[table]), SERVICE_ENTRY)]
        for kind, table in (("tv", "tvSvc"), ("radio", "radioSvc"))}

    groups, entries, group_size = FAV_VARIANTS[encoded["favourites_distance"]]
    fav = t["favGrp"]
    group_list = []
    for g in range(groups):
        base = g * group_size
        if fav[base] == 0:
            break
        name, charset = read_pvr_text(field_text(fav[base:base + 12]))
        count = fav[base + 12 + 3 * entries]
        group_list.append({
            "name": name, "charset": charset, "extra": fav[base + 13 + 3 * entries],
            "services": [{"type": fav[base + 12 + 2 * entries + i],
                          "number": struct.unpack_from("<H", fav, base + 12 + 2 * i)[0]}
                         for i in range(min(count, entries))]})
    selected = t["applEepromAddr"][SETTINGS_FAV_GROUP]
    world["favourites"] = {"selected": None if selected == NO_GROUP else selected, "groups": group_list}

    world["timers"] = [decode_timer(t["timer"][i:i + size], st, size)
                       for i in range(0, len(t["timer"]), size)]
    return world


# ---------------------------------------------------------------------------------------
# Command line


def load_json(path):
    if path == "-":
        return json.load(sys.stdin)
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def as_hex(encoded):
    out = dict(encoded)
    out["tables"] = {k: v.hex() for k, v in encoded["tables"].items()}
    return out


def from_hex(encoded):
    out = dict(encoded)
    out["tables"] = {k: bytes.fromhex(v) for k, v in encoded["tables"].items()}
    return out


def check(world):
    """Encodes, decodes and encodes again; returns a list of differences."""
    first = encode(world)
    second = encode(decode(first))
    return [name for name in TABLES if first["tables"][name] != second["tables"][name]]


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="command", required=True)
    enc = sub.add_parser("encode")
    enc.add_argument("world")
    enc.add_argument("--table", choices=TABLES)
    enc.add_argument("--interleave", action="store_true", help="satellite transponders round robin")
    dec = sub.add_parser("decode")
    dec.add_argument("tables")
    chk = sub.add_parser("check")
    chk.add_argument("worlds", nargs="+")
    args = ap.parse_args(argv)
    try:
        if args.command == "encode":
            encoded = encode(load_json(args.world), args.interleave)
            if args.table:
                print(encoded["tables"][args.table].hex())
            else:
                print(json.dumps(as_hex(encoded), indent=1))
        elif args.command == "decode":
            print(json.dumps(decode(from_hex(load_json(args.tables))), indent=1, ensure_ascii=False))
        else:
            failed = 0
            for path in args.worlds:
                differences = check(load_json(path))
                print("%s: %s" % (path, "differs in " + ", ".join(differences) if differences else "ok"))
                failed += bool(differences)
            return 1 if failed else 0
    except (WorldError, KeyError, ValueError, UnicodeError, struct.error) as e:
        print("pvr_tables: %s" % e, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
