#!/usr/bin/python3
"""The demo PVR's recordings and media: recordings in several folders with their headers
(".inf", written by the independent encoder tests/oracles/recording_header.py in the
layout of the PVR's system type, for services of the PVR's world) and ".nav" companions,
a music folder tagged by python3-mutagen (ID3v2.3 and 2.4, several text encodings, cover
art), pictures, media files, a damaged TAP, a folder link to a USB drive, and the mount
table "/proc/mounts" with the disk and the attached drives.

    write(root, world, system_type, extension, force)

Files are written only when missing (force rewrites them); recordings are sparse files.
"""
import datetime
import os
import struct
import sys
import zlib

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "oracles"))
import recording_header  # noqa: E402
from pvr_tables import pvr_text  # noqa: E402

MOUNTS = (
    "rootfs / rootfs rw 0 0\n"
    "proc /proc proc rw,relatime 0 0\n"
    "/dev/sda2 /mnt/hd ext3 rw,noatime 0 0\n"
    "/dev/sdb1 /mnt/sdb1 vfat rw,relatime,codepage=850 0 0\n"
    "/dev/sdc1 /mnt/USB\\040Stick vfat rw,relatime 0 0\n"
    "//nas/media /mnt/net cifs rw,relatime 0 0\n"
)
# The drives the mount table names, as folders of the emulated root.
DRIVES = ["mnt/sdb1/Recordings", "mnt/sdb1/Films", "mnt/USB Stick", "mnt/net/Concerts"]
EXTERNAL_PARTITIONS = ["/mnt/sdb1", "/mnt/USB Stick"]

BASE = datetime.datetime(2024, 6, 1, 19, 0)
BLOCK = 9024

# Recordings: folder below DataFiles (or a drive), file name (str: latin-1 on disk),
# TV service index of the world, minutes after BASE, duration (min, sec), event name and
# charset, description, extended text, parental, bookmarks, resume, ".nav", big-endian.
RECORDINGS = [
    ("", "Harbour News 24 - Evening Edition", 2, 0, (30, 12), ("Evening Edition", None),
     "News, weather and the harbour report.", "Tonight:\\nthe new ferry line\\nand the regatta.", 0,
     [1200, 5400, 9800], 2300, True, False),
    ("", "Café Lumière - Nuit blanche", 3, 60, (95, 0), ("Nuit blanche à Paris", None),
     "Une nuit de cinéma français.", "Réalisé en 1998.\\nAvec sous-titres.", 12, [], 0, True, True),
    ("", "Analog Capture", None, 120, (45, 30), ("VHS Tape 3", None), "Digitised home video.", "", 0,
     [], 0, False, False),
    ("Films", "Cinema Vault - The Long Harbour", 14, 200, (118, 45), ("The Long Harbour", None),
     "A drama at the edge of the sea.", "Director: A. Smith.\\nCast: B. Jones, C. Brown." + " More." * 40,
     18, [3000 * i for i in range(1, 21)], 15000, True, False),
    ("Films", "Kanali Ilios - Tainia", 5, 400, (101, 7), ("Ταινία της Κυριακής", "iso8859-7"),
     "Μια ελληνική ταινία.", "", 13, [7777], 0, True, False),
    ("Series/Polar Docs", "Polar Docs HD - Ice (1)", 19, 1440, (52, 0), ("Ice, part 1", None),
     "Glaciers of the north.", "Episode 1 of 4.", 9, [100, 200], 150, True, False),
    ("Series/Polar Docs", "Polar Docs HD - Ice (2)", 19, 2880, (51, 59), ("Ice, part 2", None),
     "Sea ice.", "Episode 2 of 4.", 9, [], 0, False, False),
    ("Kids", "Kids Lagoon - Morning Club", 20, 3000, (25, 0), ("Morning Club", None),
     "Songs and stories.", "", 7, [], 0, True, False),
    ("Series/Северный Экран", "Severny Ekran - Kino", 6, 3100, (88, 20), ("Кино вечером", "iso8859-5"),
     "Фильм.", "", 16, [42], 0, True, False),
]
# A recording on the USB drive (reached through DataFiles/USB) and one without header.
USB_RECORDING = ("Northwind One - Late Show", 0, 4000, (60, 0), ("Late Show", None), "Talk.", "", 15)


def mjd_date(moment):
    mjd = (moment.date() - datetime.date(1858, 11, 17)).days
    return mjd << 16 | moment.hour << 8 | moment.minute


def write_file(path, data, force):
    if os.path.lexists(path) and not force:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def sparse_file(path, size, force):
    if os.path.lexists(path) and not force:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"\x47" + bytes(187))   # one transport stream packet, the rest a hole
        f.truncate(size)


def transponder_fields(system_type, tp, sat_index):
    if system_type == recording_header.SATELLITE:
        return dict(tp_sat_index=sat_index, polarisation=tp.get("polarisation", 0), mode=0,
                    mod_system=tp.get("mod_system", 0), modulation=tp.get("modulation", 0),
                    fec=tp.get("fec", 0), pilot=tp.get("pilot", 0), frequency=tp.get("frequency", 0),
                    symbol_rate=tp.get("symbol_rate", 0), tsid=tp.get("tsid", 0),
                    network_id=tp.get("onid", 0), original_network_id=tp.get("onid", 0))
    if system_type == recording_header.TERRESTRIAL:
        return dict(tp_sat_index=0, channel_number=tp.get("channel_number", 0), bandwidth=tp.get("bandwidth", 0),
                    frequency=tp.get("frequency", 0), tsid=tp.get("tsid", 0), lp_hp_stream=tp.get("lphp", 0),
                    original_network_id=tp.get("onid", 0), network_id=tp.get("network_id", 0))
    return dict(frequency=tp.get("frequency", 0), symbol_rate=tp.get("symbol_rate", 0), tsid=tp.get("tsid", 0),
                original_network_id=tp.get("onid", 0), modulation=tp.get("modulation", 0))


def text_bytes(text, charset):
    return pvr_text(text, charset) if charset else text.encode("latin-1")


def header(world, system_type, service, minutes, duration, event, description, ext, parental, bookmarks,
           resume, big_endian):
    start = BASE + datetime.timedelta(minutes=minutes)
    name, charset = event
    fields = dict(
        version=0x0100 if big_endian else 0x8000,
        start_time=mjd_date(start), duration_min=duration[0], duration_sec=duration[1],
        event_duration=duration[0] + (1 if duration[1] else 0), event_id=0x4000 + minutes % 0x1000,
        event_start=mjd_date(start - datetime.timedelta(minutes=60)),
        event_end=mjd_date(start + datetime.timedelta(minutes=duration[0] - 60)),
        running_status=4, parental=parental, event_unknown1=b"\x01\x02",
        event_name=text_bytes(name, charset), event_description=text_bytes(description, charset),
        ext_text=text_bytes(ext, charset) if ext else b"", ext_event_id=0x4000 + minutes % 0x1000,
        bookmarks=bookmarks, resume=resume, copy_flag=parental >= 16, header_flags=0x40,
        header_flags2=5, crypt_flag=0)
    if service is None:
        fields.update(service_name=b"Analog Stream", service_type=0)
        return recording_header.encode(fields, system_type)
    svc = world["services"]["tv"][service]
    sat = svc.get("satellite", 0)
    tp = world["satellites"][sat]["transponders"][svc.get("transponder", 0)]
    fields.update(
        sat_index=sat, service_type=0, tp_index=svc.get("transponder", 0), tuner_num=svc.get("tuner", 0),
        service_id=svc["service_id"], pmt_pid=svc["pmt_pid"], pcr_pid=svc["pcr_pid"],
        video_pid=svc["video_pid"], audio_pid=svc["audio_pid"],
        video_stream_type=svc.get("video_stream_type", 2), audio_stream_type=svc.get("audio_stream_type", 4),
        service_name=pvr_text(svc["name"], svc.get("charset"))[:23], lock_flag=int(svc.get("locked", False)),
        cas_flag=int(svc.get("scrambled", False)), ext_service_id=svc["service_id"])
    fields.update(transponder_fields(system_type, tp, sat))
    return recording_header.encode(fields, system_type)


def recording(folder, stem, extension, data, nav, force):
    path = os.path.join(folder, stem.encode("latin-1") + extension.encode())
    sparse_file(path, BLOCK * (400 + len(stem) * 37), force)
    if data is not None:
        write_file(path + b".inf", data, force)
    if nav:
        write_file(path + b".nav", bytes(range(256)) * 4, force)


def png(width, height, colour):
    """A small picture: a gradient in one colour."""
    rows = b"".join(b"\0" + bytes(v for x in range(width) for v in (
        colour[0] * x // width, colour[1] * y // height, colour[2])) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def mp3(path, version, encoding, artist, title, album, track, year, genre, length_ms, cover, force):
    import mutagen.id3 as m
    if os.path.lexists(path) and not force:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write((b"\xff\xfb\x90\x64" + bytes(413)) * 40)   # 40 silent MPEG-1 layer III frames
    tags = m.ID3()
    tags.add(m.TPE1(encoding=encoding, text=[artist]))
    tags.add(m.TIT2(encoding=encoding, text=[title]))
    tags.add(m.TALB(encoding=encoding, text=[album]))
    tags.add(m.TRCK(encoding=encoding, text=[track]))
    tags.add(m.TYER(encoding=encoding, text=[year]) if version == 3 else m.TDRC(encoding=encoding, text=[year]))
    tags.add(m.TCON(encoding=encoding, text=[genre]))
    tags.add(m.TLEN(encoding=encoding, text=[str(length_ms)]))
    if cover:
        tags.add(m.APIC(encoding=0, mime="image/png", type=3, desc="Cover", data=cover))
    tags.save(path, v2_version=version)


def music(root, force):
    folder = os.path.join(root, "mnt/hd/MP3Files")
    cover = png(64, 64, (40, 90, 200))
    album = os.path.join(folder, "Northwind Quartet - Harbour Lights")
    for n, title in enumerate(["Harbour Lights", "Fog Horn Waltz", "Ebb & Flow"], 1):
        mp3(os.path.join(album, "%02d %s.mp3" % (n, title)), 3, 1, "Northwind Quartet", title, "Harbour Lights",
            "%d/3" % n, "2019", "(8)Jazz", 180000 + 1000 * n, cover, force)
    album = os.path.join(folder, "Señal Raíz")
    mp3(os.path.join(album, "01 Canción del río.mp3"), 4, 3, "Señal Raíz", "Canción del río", "Raíces",
        "1", "2021-04-30", "Folk", 201000, png(32, 32, (200, 120, 40)), force)
    mp3(os.path.join(album, "02 Zorongo.MP3"), 3, 0, "Señal Raíz", "Zorongo", "Raíces", "2", "2021",
        "(80)", 187000, None, force)
    mp3(os.path.join(folder, "Κύμα - Θάλασσα.mp3"), 4, 2, "Κύμα", "Θάλασσα 🌊", "Αιγαίο", "7", "2022",
        "Έντεχνο", 240000, None, force)
    write_file(os.path.join(folder, "Untagged.mp3"), (b"\xff\xfb\x90\x64" + bytes(413)) * 10, force)


def write(root, world, system_type, extension, force=False):
    data = os.path.join(root, "mnt/hd/DataFiles").encode()
    for (folder, stem, service, minutes, duration, event, description, ext, parental, bookmarks, resume, nav,
         big_endian) in RECORDINGS:
        inf = header(world, system_type, service, minutes, duration, event, description, ext, parental,
                     bookmarks, resume, big_endian)
        recording(os.path.join(data, folder.encode()), stem, extension, inf, nav, force)
    recording(data, "Untitled", extension, None, False, force)

    for drive in DRIVES:
        os.makedirs(os.path.join(root, drive), exist_ok=True)
    stem, service, minutes, duration, event, description, ext, parental = USB_RECORDING
    inf = header(world, system_type, service, minutes, duration, event, description, ext, parental, [], 0, False)
    recording(os.path.join(root, "mnt/sdb1/Recordings").encode(), stem, extension, inf, True, force)
    link = os.path.join(root, "mnt/hd/DataFiles/USB")
    if not os.path.lexists(link):
        os.symlink("../../sdb1/Recordings", link)   # relative: it stays inside the emulated root
    sparse_file(os.path.join(root, "mnt/sdb1/Films/Holiday 2023.mkv"), 3 << 20, force)
    sparse_file(os.path.join(root, "mnt/net/Concerts/Open Air.mp4"), 5 << 20, force)
    write_file(os.path.join(root, "mnt/USB Stick/readme.txt"), b"A drive whose mount point has a blank.\n", force)

    music(root, force)
    media = os.path.join(root, "mnt/hd/MediaFiles")
    sparse_file(os.path.join(media, "Trailer.mp4"), 2 << 20, force)
    sparse_file(os.path.join(media, "Concert.mkv"), 4 << 20, force)
    photos = os.path.join(root, "mnt/hd/PhotoFiles")
    for name, colour in (("Sunset.png", (250, 120, 30)), ("Harbour.png", (30, 110, 220)),
                         ("Meadow.png", (60, 200, 60))):
        write_file(os.path.join(photos, name), png(160, 90, colour), force)
    if not os.path.lexists(os.path.join(photos, "Latest.png")):
        os.symlink("Sunset.png", os.path.join(photos, "Latest.png"))
    # A TAP file cut short: the listing reads it as untrusted input.
    write_file(os.path.join(root, "mnt/hd/ProgramFiles/Broken.tap"), b"\x7fELF\x01\x01\x01" + bytes(40), force)

    write_file(os.path.join(root, "proc/mounts"), MOUNTS.encode(), force)
