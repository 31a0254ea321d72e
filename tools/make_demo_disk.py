#!/usr/bin/python3
"""Writes an emulated PVR root for pvrsim: the disk's folder layout, the model table
"FirmwareTMS.dat", the model profile "pvrsim.json", the PVR's world "world.json" (channels,
tuning tables, favourites, timers: emulator/WORLD.md), the video picture "pvrsim/video.png",
default settings, and recordings, music, pictures, attached drives and the mount table
(tools/demo_media.py). With --install it also puts the built TAPs and the browser application
on the disk (refreshed every time). --system-type 6 or 7 makes a terrestrial or cable PVR
instead of the satellite one; --system-id 32020 or 32026 a model with analogue inputs.

usage: make_demo_disk.py ROOT [--install BUILD_DIR] [--port N] [--force] [--system-type N]
                         [--system-id N]
"""
import argparse
import json
import os
import shutil
import struct
import sys
import zlib

import demo_media
import demo_world

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The emulated models: system ID, name, app type, system type, remote type, recording
# streams, ".mpg" recordings.
MODELS = [
    (22010, "TMS-2400 HD", "TMS", 5, 2, 4, 0),
    (22122, "TMS-2100", "TMS", 5, 1, 2, 0),
    (22570, "TMS-3200 MPG", "TMS", 5, 2, 4, 1),
    (22610, "TMS-2400 T", "TMS", 6, 2, 4, 0),
    (22710, "TMS-2400 C", "TMS", 7, 2, 4, 0),
    # Models with analogue inputs (AV input, composite, component).
    (32020, "TMS-2400 AV", "TMS", 5, 2, 4, 0),
    (32026, "TMS-2600 AV", "TMS", 5, 2, 4, 0),
]
ANALOGUE_MODELS = (32020, 32026)
ANALOGUE_SYMBOLS = ["_isAnalogMode", "_Z26Appl_GetAnalogEncoderStatev", "_Z23Appl_AnalogChangeActionv",
                    "_Z25Appl_SetAnalogEncoderModeh", "_Z25Appl_GetAnalogEncoderModev"]
DEMO_SYSTEM_ID = 22010
# The demo model of each system type (5 satellite, 6 terrestrial, 7 cable).
DEMO_MODELS = {5: 22010, 6: 22610, 7: 22710}

FOLDERS = [
    "mnt/hd/ProgramFiles/Settings/Orvane/public_html",
    "mnt/hd/DataFiles",
    "mnt/hd/MP3Files",
    "mnt/hd/MediaFiles",
    "mnt/hd/PhotoFiles",
    "mnt/hd/tmp",
    "dev/pts",
    "tmp",
]


def model_table(models):
    """The model table: magic, a zero word at 8, the count at 12, 348-byte records at 20."""
    out = bytearray(struct.pack("<IIII", 0x12345678, 1, 0, len(models)) + bytes(4))
    for system_id, name, app_type, system_type, remote, streams, mpg in models:
        record = bytearray(348)
        struct.pack_into("<H", record, 0, system_id)
        record[4:4 + len(name)] = name.encode()
        record[260:260 + len(app_type)] = app_type.encode()
        struct.pack_into("<I", record, 292, system_type)
        struct.pack_into("<I", record, 304, 0)
        struct.pack_into("<I", record, 320, remote)
        struct.pack_into("<I", record, 324, streams)
        record[328] = mpg
        out += record
    return bytes(out)


def system_type_of(system_id):
    return next(m[3] for m in MODELS if m[0] == system_id)


def profile(system_id):
    analogue = ANALOGUE_SYMBOLS if system_id in ANALOGUE_MODELS else []
    return {
        "system_id": system_id,
        "system_type": system_type_of(system_id),
        "utc_offset": 60,
        "time_mode": 0,
        "clock": "host",
        "optional_symbols": analogue + ["_Z26Appl_ConvertToValidUTF8StrPhi"],
        "system_vars": {"1": 0},
        "recordings": [{"type": 0}, {"type": 0}, {"type": 0}, {"type": 0}],
        "external_partitions": demo_media.EXTERNAL_PARTITIONS,
    }


def png(width, height, rows):
    """A PNG file of 8-bit RGBA rows (bytes objects), written with zlib alone."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def test_card():
    """The emulated video picture: colour bars over a grey ramp, 720 x 576."""
    bars = [(235, 235, 235), (235, 235, 16), (16, 235, 235), (16, 235, 16), (235, 16, 235), (235, 16, 16),
            (16, 16, 235), (16, 16, 16)]
    top = b"".join(bytes(bars[x * 8 // 720]) + b"\xff" for x in range(720))
    ramp = b"".join(bytes([x * 255 // 719] * 3) + b"\xff" for x in range(720))
    return png(720, 576, [top] * 432 + [ramp] * 144)


def write(path, data, force):
    if os.path.exists(path) and not force:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def generate(root, force=False, port=None, system_id=DEMO_SYSTEM_ID):
    for folder in FOLDERS:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    settings = os.path.join(root, "mnt/hd/ProgramFiles/Settings")
    write(os.path.join(settings, "FirmwareTMS.dat"), model_table(MODELS), force)
    write(os.path.join(root, "pvrsim.json"), json.dumps(profile(system_id), indent=2).encode() + b"\n", force)
    write(os.path.join(root, "pvrsim", "video.png"), test_card(), force)
    world = os.path.join(root, "world.json")
    model = next(m for m in MODELS if m[0] == system_id)
    if force or not os.path.exists(world):
        demo_world.write(world, demo_world.build(model[3]))
    with open(world, encoding="utf-8") as f:
        demo_media.write(root, json.load(f), model[3], ".mpg" if model[6] else ".rec", force)
    ini = os.path.join(settings, "Orvane", "Orvane.ini")
    if port is not None or not os.path.exists(ini) or force:
        # Clients outside the PVR's own network sign in as demo / demo.
        text = (f"port={port or 8000}\r\nsearchport=8800\r\nlogginglevel=1\r\nepgsource=0\r\n"
                "cachecontrol=1\r\nauthentication=1\r\ncredentials=ZGVtbzpkZW1v\r\nepgcache=0\r\n")
        write(ini, text.encode(), True)


def install(root, build):
    """Links the built TAPs into /ProgramFiles and copies the built browser application."""
    programs = os.path.join(root, "mnt/hd/ProgramFiles")
    for tap in ("webserver/Orvane.tap", "config/Orvane-Config.tap"):
        built = os.path.join(build, tap)
        if not os.path.exists(built):
            continue
        target = os.path.join(programs, os.path.basename(tap))
        if os.path.lexists(target):
            os.remove(target)
        os.symlink(os.path.abspath(built), target)
    skimlet = os.path.join(build, "search/skimlet")
    if os.path.exists(skimlet):
        target = os.path.join(programs, "Settings/Orvane/skimlet")
        shutil.copy2(skimlet, target)
    public = os.path.join(build, "public_html")
    if os.path.isdir(public):
        shutil.copytree(public, os.path.join(programs, "Settings/Orvane/public_html"), dirs_exist_ok=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("root")
    ap.add_argument("--install", metavar="BUILD_DIR")
    ap.add_argument("--port", type=int)
    ap.add_argument("--force", action="store_true", help="rewrite files that exist")
    ap.add_argument("--system-type", type=int, choices=sorted(DEMO_MODELS), default=5)
    ap.add_argument("--system-id", type=int, choices=[m[0] for m in MODELS],
                    help="the emulated model (instead of the demo model of the system type)")
    args = ap.parse_args()
    generate(args.root, args.force, args.port, args.system_id or DEMO_MODELS[args.system_type])
    if args.install:
        install(args.root, args.install)
    return 0


if __name__ == "__main__":
    sys.exit(main())
