"""The demo worlds of the three system types: built from Debian's tuning tables, encoded
into the firmware's tables by the Python encoder and read back by its decoder."""
import datetime
import json
import os
import struct
import subprocess
import sys

import pytest

from conftest import SOURCE

sys.path.insert(0, os.path.join(SOURCE, "tests", "oracles"))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import demo_world  # noqa: E402
import make_demo_disk  # noqa: E402
import pvr_tables  # noqa: E402

ORACLE = os.path.join(SOURCE, "tests", "oracles", "pvr_tables.py")
DATE = datetime.date(2024, 5, 1)


@pytest.fixture(params=[5, 6, 7])
def world(request):
    return demo_world.build(request.param, DATE)


def test_demo_world_round_trips_through_the_tables(world):
    encoded = pvr_tables.encode(world)
    assert pvr_tables.check(world) == []
    back = pvr_tables.decode(encoded)
    assert back["system_type"] == world["system_type"]
    for kind in ("tv", "radio"):
        assert len(back["services"][kind]) == len(world["services"][kind])
        for original, decoded in zip(world["services"][kind], back["services"][kind]):
            assert decoded["name"] == original["name"]
            assert decoded["charset"] == original.get("charset", "latin1")
            for key in ("provider", "lcn", "service_id", "pmt_pid", "pcr_pid", "video_pid", "audio_pid",
                        "video_stream_type", "audio_stream_type", "satellite", "transponder",
                        "scrambled", "locked", "skip", "deleted", "name_lock"):
                assert decoded[key] == original[key], key
    assert [p["name"] for p in back["providers"]] == [p["name"] for p in world["providers"]]
    for original, decoded in zip(world["satellites"], back["satellites"]):
        assert decoded["transponders"] == [dict({k: 0 for k in d}, **o) for o, d in
                                           zip(original["transponders"], decoded["transponders"])]
        if world["system_type"] != 7:
            assert decoded["name"] == original["name"]
    assert back["favourites"]["selected"] == world["favourites"]["selected"]
    assert [(g["name"], g["services"]) for g in back["favourites"]["groups"]] == \
        [(g["name"], g["services"]) for g in world["favourites"]["groups"]]
    for original, decoded in zip(world["timers"], back["timers"]):
        for key in ("service_type", "service_number", "start", "duration", "file_name", "is_rec",
                    "reservation_type", "epg_marker", "event_id1"):
            assert decoded[key] == original[key], key
        service = world["services"]["tv" if original["service_type"] == 0 else "radio"][original["service_number"]]
        assert decoded["service_id"] == service["service_id"]
        assert decoded["pmt_pid"] == service["pmt_pid"]
    # Sizes as the firmware has them.
    tables = encoded["tables"]
    assert len(tables["favGrp"]) == world["favourites_variant"]
    assert len(tables["timer"]) == len(world["timers"]) * world["timer_entry_size"]
    assert len(tables["tvSvc"]) == 32 * len(world["services"]["tv"])


def test_demo_world_has_what_the_pages_need(world):
    names = [s for kind in ("tv", "radio") for s in world["services"][kind]]
    assert len({s.get("charset", "latin1") for s in names}) >= 5
    assert any('"' in s["name"] for s in names) and any("\\" in s["name"] for s in names)
    assert any(not s["name"].isascii() and s.get("charset") is None for s in names)   # Latin-1
    assert all(len(pvr_tables.pvr_text(s["name"], s.get("charset"))) <= 23 for s in names)
    assert len(world["services"]["radio"]) >= 3
    tv = world["services"]["tv"]
    assert any(s["scrambled"] for s in tv) and any(s["locked"] for s in tv)
    assert len(world["favourites"]["groups"]) >= 3 and len(world["timers"]) >= 3
    # Every service and timer refers to a transponder that exists.
    for s in names:
        assert s["transponder"] < len(world["satellites"][s["satellite"]]["transponders"])
    for t in world["timers"]:
        assert datetime.datetime.strptime(t["start"], "%Y-%m-%d %H:%M").date() > DATE
    assert demo_world.build(world["system_type"], DATE) == world   # fixed seed


def test_satellite_transponders_come_from_the_scan_tables():
    world = demo_world.build(5, DATE)
    assert len(world["satellites"]) >= 4
    for (table, name, position, onid, tsid), sat in zip(demo_world.SATELLITES, world["satellites"]):
        assert sat["name"] == name and sat["position"] == position
        frequencies = []
        with open(os.path.join("/usr/share/dvb", table)) as f:
            for line in f:
                if line.strip().startswith("FREQUENCY"):
                    frequencies.append(int(line.split("=")[1]) // 1000)
        assert [tp["frequency"] for tp in sat["transponders"]] == frequencies[:len(sat["transponders"])]
    # One network's transport stream IDs from 0x8000 up.
    assert any(tp["tsid"] >= 0x8000 for sat in world["satellites"] for tp in sat["transponders"])


def test_satellite_block_and_interleaved_transponders():
    world = demo_world.build(5, DATE)
    encoded = pvr_tables.encode(world, interleave=True)
    tp = encoded["tables"]["tpInfo"]
    count = struct.unpack_from("<I", tp)[0]
    assert count == sum(len(s["transponders"]) for s in world["satellites"])
    assert len(tp) == 4 + 16 * count
    assert [tp[4 + 16 * i] for i in range(3)] == [0, 1, 2]   # round robin over the satellites
    assert pvr_tables.decode(encoded)["satellites"] == pvr_tables.decode(pvr_tables.encode(world))["satellites"]
    sats = encoded["tables"]["satInfo"]
    assert len(sats) == 84 * (len(world["satellites"]) + 1) and sats[-84:] == bytes(84)


def test_oracle_command_line(tmp_path):
    path = tmp_path / "world.json"
    demo_world.write(str(path), demo_world.build(6, DATE))
    run = lambda *args, **kw: subprocess.run([sys.executable, ORACLE, *args], capture_output=True, text=True, **kw)  # noqa: E731
    tv = run("encode", str(path), "--table", "tvSvc")
    assert tv.returncode == 0 and len(tv.stdout.strip()) == 2 * 32 * len(demo_world.TV)
    whole = run("encode", str(path))
    back = run("decode", "-", input=whole.stdout)
    assert back.returncode == 0
    assert json.loads(back.stdout)["services"]["tv"][5]["name"] == "Κανάλι Ήλιος"
    assert run("check", str(path)).stdout.strip().endswith(": ok")
    bad = json.loads(path.read_text())
    bad["services"]["tv"][0]["charset"] = "iso8859-2"   # only reachable through a selector with a zero byte
    path.write_text(json.dumps(bad))
    failed = run("encode", str(path))
    assert failed.returncode == 2 and "cannot be stored" in failed.stderr


@pytest.mark.parametrize("system_type", [5, 6, 7])
def test_demo_disk_writes_the_world_of_its_model(tmp_path, system_type):
    root = str(tmp_path / "pvr")
    make_demo_disk.generate(root, system_id=make_demo_disk.DEMO_MODELS[system_type])
    with open(os.path.join(root, "world.json"), encoding="utf-8") as f:
        world = json.load(f)
    assert world["system_type"] == system_type
    assert pvr_tables.check(world) == []
    profile = json.load(open(os.path.join(root, "pvrsim.json")))
    assert profile["system_id"] == make_demo_disk.DEMO_MODELS[system_type]
    # An existing world (with the firmware's changes in it) is kept.
    world["timers"] = []
    demo_world.write(os.path.join(root, "world.json"), world)
    make_demo_disk.generate(root)
    assert json.load(open(os.path.join(root, "world.json")))["timers"] == []
