#!/usr/bin/python3
"""Writes recording headers (".inf" files) in the layouts of the PVR's system types 5
(satellite), 6 (terrestrial) and 7 (cable), from a dict of fields; and says what a reader
must see in such a file. Used by the unit tests and the demo disk generator.

A header is little-endian when its version, read big-endian, is 80, 128 or 4176 (so
little-endian files carry the versions 0x5000, 0x8000 or 0x5010); any other version
makes a big-endian file. encode() writes every multi-byte field in the order the version
implies, so the caller picks the version to pick the byte order.

Fields (all optional, 0 or empty by default):
  version, start_time (packed PVR date), duration_min, duration_sec,
  crypt_flag (0-3), header_flags (the top six bits of byte 16, a multiple of 4),
  copy_flag, timeshift_flag (booleans), header_flags2 (0-63), reserved1 (2 bytes),
  reserved2 (10 bytes),
  sat_index, service_type, tp_index (0-1023), tuner_num (0-3), del_flag, cas_flag,
  lock_flag, skip_flag, service_id, pmt_pid, pcr_pid, video_pid, audio_pid,
  service_name (bytes, at most 24), video_stream_type, audio_stream_type,
  event_unknown1 (2 bytes), event_duration (minutes), event_id, event_start, event_end,
  running_status, parental, event_name and event_description (bytes, 273 together),
  name_length (overrides the stored length of the name),
  ext_service_id, ext_event_id, ext_text (bytes, at most 1024), ext_length (overrides
  the stored length), reserved3 (4 bytes at 1392),
  satellite: tp_sat_index, polarisation, mode, mod_system, modulation, fec, pilot,
             frequency, symbol_rate, tsid, network_id, original_network_id
  terrestrial: tp_sat_index, channel_number, bandwidth, frequency, tsid, lp_hp_stream,
             original_network_id, network_id
  cable: frequency (24 bits), symbol_rate, tsid, original_network_id, modulation
  bookmarks (list of at most 177 block numbers), bookmark_count (overrides the stored
  count), resume.
"""
import struct

LITTLE_ENDIAN_VERSIONS = (0x5000, 0x8000, 0x5010)
SATELLITE, TERRESTRIAL, CABLE = 5, 6, 7
FILE_SIZE = {SATELLITE: 2128, TERRESTRIAL: 2128, CABLE: 2124}
EVENT_TEXT = 273
EXT_TEXT = 1024
BOOKMARKS = 177


class _Writer:
    def __init__(self, size, order):
        self.data = bytearray(size)
        self.order = order

    def put(self, fmt, offset, value):
        struct.pack_into(self.order + fmt, self.data, offset, value)

    def raw(self, offset, value, room):
        value = bytes(value)
        if len(value) > room:
            raise ValueError(f"{len(value)} bytes do not fit in {room}")
        self.data[offset:offset + len(value)] = value


def byte_order(version):
    """'<' when a reader takes the file for little-endian, else '>'."""
    return "<" if version in LITTLE_ENDIAN_VERSIONS else ">"


def encode(fields, system_type):
    f = dict(fields)
    g = lambda key, default=0: f.get(key, default)
    version = g("version", 0x8000)
    w = _Writer(FILE_SIZE[system_type], byte_order(version))
    w.raw(0, b"TFrc", 4)
    w.put("H", 4, version)
    w.raw(6, g("reserved1", b""), 2)
    w.put("I", 8, g("start_time"))
    w.put("H", 12, g("duration_min"))
    w.put("H", 14, g("duration_sec"))
    if g("header_flags") & 3:
        raise ValueError("header_flags holds the top six bits of its byte")
    w.put("B", 16, g("header_flags") | (g("crypt_flag") & 3))
    w.put("B", 17, (0x80 if g("copy_flag") else 0) | (0x40 if g("timeshift_flag") else 0)
          | (g("header_flags2") & 0x3F))
    w.raw(18, g("reserved2", b""), 10)

    w.put("B", 28, g("sat_index"))
    w.put("B", 29, g("service_type"))
    w.put("H", 30, (g("tp_index") & 0x3FF) | (g("tuner_num") & 3) << 10 | (g("del_flag") & 1) << 12
          | (g("cas_flag") & 1) << 13 | (g("lock_flag") & 1) << 14 | (g("skip_flag") & 1) << 15)
    for offset, key in ((32, "service_id"), (34, "pmt_pid"), (36, "pcr_pid"), (38, "video_pid"),
                        (40, "audio_pid")):
        w.put("H", offset, g(key))
    w.raw(42, g("service_name", b""), 24)
    w.put("B", 66, g("video_stream_type"))
    w.put("B", 67, g("audio_stream_type"))

    w.raw(68, g("event_unknown1", b""), 2)
    hours, minutes = divmod(g("event_duration"), 60)
    w.put("B", 70, minutes)
    w.put("B", 71, hours)
    w.put("I", 72, g("event_id"))
    w.put("I", 76, g("event_start"))
    w.put("I", 80, g("event_end"))
    w.put("B", 84, g("running_status"))
    name, description = bytes(g("event_name", b"")), bytes(g("event_description", b""))
    w.put("B", 85, g("name_length", len(name)))
    w.put("B", 86, g("parental"))
    w.raw(87, name + description, EVENT_TEXT)

    w.put("H", 360, g("ext_service_id"))
    ext_text = bytes(g("ext_text", b""))
    w.put("H", 362, g("ext_length", len(ext_text)))
    w.put("I", 364, g("ext_event_id"))
    w.raw(368, ext_text, EXT_TEXT)
    w.raw(1392, g("reserved3", b""), 4)

    if system_type == SATELLITE:
        w.put("B", 1396, g("tp_sat_index"))
        w.put("H", 1397, (g("polarisation") & 1) | (g("mode") & 7) << 1 | (g("mod_system") & 1) << 4
              | (g("modulation") & 3) << 5 | (g("fec") & 15) << 7 | (g("pilot") & 1) << 11)
        w.put("I", 1400, g("frequency"))
        w.put("H", 1404, g("symbol_rate"))
        w.put("H", 1406, g("tsid"))
        w.put("H", 1408, g("network_id"))
        w.put("H", 1410, g("original_network_id"))
        bookmarks_at = 1412
    elif system_type == TERRESTRIAL:
        w.put("B", 1396, g("tp_sat_index"))
        w.put("B", 1397, g("channel_number"))
        w.put("B", 1398, g("bandwidth"))
        w.put("I", 1400, g("frequency"))
        w.put("H", 1404, g("tsid"))
        w.put("B", 1406, g("lp_hp_stream"))
        w.put("H", 1408, g("original_network_id"))
        w.put("H", 1410, g("network_id"))
        bookmarks_at = 1412
    elif system_type == CABLE:
        w.put("I", 1396, (g("frequency") & 0xFFFFFF) << 8)
        w.put("H", 1400, g("symbol_rate"))
        w.put("H", 1402, g("tsid"))
        w.put("H", 1404, g("original_network_id"))
        w.put("B", 1406, g("modulation"))
        bookmarks_at = 1408
    else:
        raise ValueError(f"no layout for system type {system_type}")

    marks = list(g("bookmarks", []))
    if len(marks) > BOOKMARKS:
        raise ValueError("at most 177 bookmarks")
    w.put("I", bookmarks_at, g("bookmark_count", len(marks)))
    for i, block in enumerate(marks):
        w.put("I", bookmarks_at + 4 + 4 * i, block)
    w.put("I", bookmarks_at + 4 + 4 * BOOKMARKS, g("resume"))
    return bytes(w.data)


def reader_view(fields, system_type):
    """What a reader of encode(fields, system_type) must see: the texts as they stand in
    the file (name and description split at the stored length; the extended text with
    NUL bytes as spaces and the two characters backslash, n as the byte 0x8A) and the
    transponder fields the layout carries (the others read 0)."""
    f = dict(fields)
    g = lambda key, default=0: f.get(key, default)
    name, description = bytes(g("event_name", b"")), bytes(g("event_description", b""))
    texts = (name + description).ljust(EVENT_TEXT, b"\0")
    length = min(g("name_length", len(name)), EVENT_TEXT)
    ext = bytes(g("ext_text", b"")).ljust(EXT_TEXT, b"\0")
    ext_length = g("ext_length", len(bytes(g("ext_text", b""))))
    if ext_length > EXT_TEXT:
        ext_length = ext.index(b"\0") if b"\0" in ext else EXT_TEXT
    text = ext[:ext_length].replace(b"\\n", b"\x8a").replace(b"\0", b" ")
    view = {key: g(key) for key in (
        "version", "start_time", "duration_min", "duration_sec", "crypt_flag", "header_flags",
        "header_flags2", "sat_index", "service_type", "tp_index", "tuner_num", "del_flag",
        "cas_flag", "lock_flag", "skip_flag", "service_id", "pmt_pid", "pcr_pid", "video_pid",
        "audio_pid", "video_stream_type", "audio_stream_type", "event_duration", "event_id",
        "event_start", "event_end", "running_status", "parental", "ext_service_id",
        "ext_event_id", "resume")}
    view.update(
        copy_flag=0x80 if g("copy_flag") else 0,
        timeshift_flag=0x40 if g("timeshift_flag") else 0,
        service_name=bytes(g("service_name", b"")).ljust(24, b"\0"),
        event_unknown1=bytes(g("event_unknown1", b"")).ljust(2, b"\0"),
        event_name=texts[:length],
        event_description=texts[length:],
        ext_text=text,
        bookmark_count=g("bookmark_count", len(g("bookmarks", []))),
        bookmarks=list(g("bookmarks", [])) + [0] * (BOOKMARKS - len(g("bookmarks", []))))
    transponder = dict(tp_sat_index=0, polarisation=0, mode=0, mod_system=0, modulation=0, fec=0,
                       pilot=0, channel_number=0, bandwidth=0, lp_hp_stream=0, frequency=0,
                       symbol_rate=0, tsid=0, network_id=0, original_network_id=0)
    carried = {
        SATELLITE: ("tp_sat_index", "polarisation", "mode", "mod_system", "modulation", "fec", "pilot",
                    "frequency", "symbol_rate", "tsid", "network_id", "original_network_id"),
        TERRESTRIAL: ("tp_sat_index", "channel_number", "bandwidth", "frequency", "tsid",
                      "lp_hp_stream", "original_network_id", "network_id"),
        CABLE: ("frequency", "symbol_rate", "tsid", "original_network_id", "modulation"),
    }[system_type]
    for key in carried:
        transponder[key] = g(key)
    if system_type == CABLE:
        transponder["frequency"] &= 0xFFFFFF
    view.update(transponder)
    return view
