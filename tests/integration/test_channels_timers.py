"""Channels, timers, favourites, satellites and transponders through the API of Orvane.tap on
pvrsim running generated worlds: a real HTTP client, every answer read by a strict JSON
parser that also rejects repeated members, the channel switch and the timer changes seen
in pvrsim's effect lines, and the timers still there after a restart."""
import datetime
import json
import os
import sys

import pytest

from api_client import api
from conftest import BUILD, ORVANE_TAP, SOURCE, SKIMLET, free_port, write_ini

sys.path.insert(0, os.path.join(SOURCE, "tools"))
import demo_world  # noqa: E402
import make_demo_disk  # noqa: E402


def make_root(tmp_path, system_id, world=None):
    root = str(tmp_path / ("pvr%d" % system_id))
    make_demo_disk.generate(root, system_id=system_id)
    make_demo_disk.install(root, BUILD)
    tap = os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")
    if os.path.lexists(tap):
        os.remove(tap)
    os.symlink(os.path.abspath(ORVANE_TAP), tap)
    if world is not None:
        demo_world.write(os.path.join(root, "world.json"), world)
    return root


def world_of(root):
    with open(os.path.join(root, "world.json"), encoding="utf-8") as f:
        return json.load(f)


@pytest.fixture
def serve(start_pvrsim):
    def start(root):
        port = free_port()
        write_ini(root, "port=%d\nlogginglevel=1\nauthentication=0\n" % port)
        sim = start_pvrsim(root)
        sim.expect(r"world: \d+ tv and \d+ radio services")
        sim.expect(r"loaded slot 0 id 0x514b570f")
        sim.port = port
        return sim
    return start


@pytest.mark.parametrize("system_type", [5, 6, 7])
def test_channel_list_and_favourites(tmp_path, serve, system_type):
    root = make_root(tmp_path, make_demo_disk.DEMO_MODELS[system_type])
    world = world_of(root)
    sim = serve(root)
    answer = api(sim.port, "channels", "get")
    services = [(0, s) for s in world["services"]["tv"]] + [(1, s) for s in world["services"]["radio"]]
    assert list(answer)[:3] == ["count", "timestamp", "content"]
    assert answer["count"] == len(services) == len(answer["channels"])
    for channel, (kind, service) in zip(answer["channels"], services):
        assert channel["chtype"] == kind
        assert channel["servicename"] == service["name"]
        assert channel["lcn"] == service["lcn"]
        assert channel["serviceid"] == service["service_id"]
    # By group name, plain and as hex.
    for params in ("favourites=Films", "group_hex=" + "Films".encode().hex()):
        films = api(sim.port, "channel", "get", params)
        assert films["favourites"] == 1 and films["fav_name"] == "Films"
        members = [g for g in world["favourites"]["groups"] if g["name"] == "Films"][0]["services"]
        assert [(c["chtype"], c["chnum"]) for c in films["channels"]] == [(m["type"], m["number"]) for m in members]
        assert films["count"] == len(members)
    favourites = api(sim.port, "favorites", "get")
    assert [g["name"] for g in favourites["groups"]] == [g["name"] for g in world["favourites"]["groups"]]
    assert favourites["currentgroup"] == world["favourites"]["groups"][0]["name"]


def test_channel_switch_accepted_and_refused(tmp_path, serve):
    root = make_root(tmp_path, 22010)
    world = world_of(root)
    sim = serve(root)
    answer = api(sim.port, "channels", "set", "chtype=0&chnum=3")
    sim.expect(r"channel tv 3$")
    assert answer["status"] == 0 and answer["current_chnum"] == 3
    assert answer["current_chname"] == world["services"]["tv"][3]["name"]
    locked = next(i for i, s in enumerate(world["services"]["tv"]) if s["locked"])
    answer = api(sim.port, "channels", "set", "chtype=0&chnum=%d" % locked)
    sim.expect(r"channel tv %d refused: locked" % locked)
    assert answer["status"] == 1 and answer["current_chnum"] == 3
    assert answer["statustext"] == "New channel 0/3 does not match requested channel 0/%d." % locked
    answer = api(sim.port, "channels", "set", "chtype=1&chnum=1")
    sim.expect(r"channel radio 1$")
    assert answer["current_chtype"] == 1


def test_analogue_inputs_of_an_analogue_model(tmp_path, serve):
    root = make_root(tmp_path, 32020)
    sim = serve(root)
    answer = api(sim.port, "channels", "get")
    assert [c["servicename"] for c in answer["channels"][-3:]] == ["AV Input", "AV Composite", "AV Component"]
    answer = api(sim.port, "channels", "set", "chtype=99&chnum=4")
    sim.expect(r"analog input on")
    assert (answer["status"], answer["current_chname"], answer["current_lcn"]) == (0, "AV Input", 999)


def test_timers_created_changed_and_deleted_survive_a_restart(tmp_path, serve):
    root = make_root(tmp_path, make_demo_disk.DEMO_MODELS[6])
    world = world_of(root)
    sim = serve(root)
    before = api(sim.port, "timers", "get")
    assert before["count"] == len(world["timers"])
    body = ("starttime=2031/03/04 20:15:00\nduration=50\nservicetype=0\nservicenum=2\nisrec=1\n"
            "filename=Caf\u00e9 \"Noir\".rec\neventid1=3000000000\n").encode()
    answer = api(sim.port, "timers", "new", body=body)
    assert (answer["content"], answer["return_code"], answer["end_count"]) == ("timers_new", 0, before["count"] + 1)
    sim.expect(r"timer %d added: tv 2" % before["count"])
    sim.expect(r"world written")
    first = before["timers"][0]
    keys = ("index=0\nold_servicetype=%d\nold_servicenum=%d\nold_duration=%d\nold_starttime=%s\n"
            % (first["servicetype"], first["serviceindex"], first["duration"], first["starttime"]))
    answer = api(sim.port, "timer", "modify", body=(keys + "duration=75\n").encode())
    assert answer["return_code"] == 0
    sim.expect(r"timer 0 modified")
    second = before["timers"][1]
    keys = ("index=1\nold_servicetype=%d\nold_servicenum=%d\nold_duration=%d\nold_starttime=%s\n"
            % (second["servicetype"], second["serviceindex"], second["duration"], second["starttime"]))
    answer = api(sim.port, "reservations", "delete", body=keys.encode())
    assert (answer["return_code"], answer["end_count"]) == (0, before["count"])
    sim.expect(r"timer 1 deleted")
    answer = api(sim.port, "timers", "delete", body=b"index=99\n")
    assert answer["return_code"] == 3
    sim.expect(r"world written")
    sim.finish()

    saved = world_of(root)
    assert len(saved["timers"]) == before["count"]
    sim = serve(root)
    after = api(sim.port, "timers", "get")
    assert after["count"] == before["count"]
    assert after["timers"][0]["duration"] == 75
    assert after["timers"][0]["epgmarker"] == first["epgmarker"]
    assert [t["starttime"] for t in after["timers"][1:-1]] == [t["starttime"] for t in before["timers"][2:]]
    new = after["timers"][-1]
    assert (new["filename"], new["starttime"], new["duration"]) == ("Caf\u00e9 \"Noir\".rec", "2031/03/04 20:15:00", 50)
    assert (new["eventid1"], new["epgmarker"], new["nameset"], new["tunerindex"]) == (3000000000, 2, 1, 3)


def scan_table_channels(name):
    channels, current = [], None
    with open(os.path.join("/usr/share/dvb", name), encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                current = {}
                channels.append(current)
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key.strip()] = value.strip()
    return [c for c in channels if "FREQUENCY" in c]


@pytest.mark.parametrize("system_type", [5, 6, 7])
def test_transponders_of_the_scan_tables(tmp_path, serve, system_type):
    root = make_root(tmp_path, make_demo_disk.DEMO_MODELS[system_type])
    sim = serve(root)
    answer = api(sim.port, "sat", "transponders")
    if system_type == 5:
        tables = [(t[0], t[1]) for t in demo_world.SATELLITES]
    else:
        tables = [(demo_world.TERRESTRIAL if system_type == 6 else demo_world.CABLE)[0:2]]
    assert answer["count"] == len(tables)
    for sat, (table, name) in zip(answer["satellites"], tables):
        assert sat["sat_name"] == name
        expected = scan_table_channels(table)[:len(sat["transponders"])]
        assert len(sat["transponders"]) >= 1
        for tp, channel in zip(sat["transponders"], expected):
            assert tp["frequency"] == int(channel["FREQUENCY"]) // 1000
            if system_type != 6:
                assert tp["symbol_rate"] == int(channel["SYMBOL_RATE"]) // 1000
    satellites = api(sim.port, "satellite", "get")
    assert satellites["content"] == "sat_table" and satellites["count"] == len(tables)


def test_every_answer_is_strict_json_for_awkward_names(tmp_path, serve):
    world = demo_world.build(5, datetime.date(2024, 5, 1))
    awkward = ['Quote " and \\ back', "Tab\there", "Bell\x07Ctl\x1f", "Slash / </script>", "\u00c9t\u00e9 \u00bd"]
    for i, name in enumerate(awkward):
        world["services"]["tv"][i]["name"] = name
        world["services"]["tv"][i].pop("charset", None)
        world["timers"][i]["file_name"] = name
        world["timers"][i].pop("charset", None)
    world["favourites"]["groups"][1]["name"] = 'G"\\\x01'
    world["satellites"][0]["name"] = 'S"\\\x02'
    root = make_root(tmp_path, 22010, world)
    sim = serve(root)
    channels = api(sim.port, "channels", "get")
    assert channels["channels"][0]["servicename"] == 'Quote " and \\ back'
    assert channels["channels"][1]["servicename"] == "Tabhere"          # control bytes are cleaned away
    assert channels["channels"][2]["servicename"] == "BellCtl"        # control bytes are cleaned away
    assert channels["channels"][3]["servicename"] == "Slash / </script>"
    assert channels["channels"][4]["servicename"] == "\u00c9t\u00e9 \u00bd"
    timers = api(sim.port, "timers", "get")
    assert timers["timers"][0]["filename"] == 'Quote " and \\ back'
    assert timers["timers"][0]["chname"] == "BellCtl"   # timer 0 records TV service 2
    group = api(sim.port, "channels", "get", "group_hex=" + 'G"\\\x01'.encode().hex())
    assert group["favourites"] == 1 and group["fav_name"] == 'G"\\'
    assert api(sim.port, "favourites", "get")["groups"][1]["name"] == 'G"\\'
    assert api(sim.port, "sat", "get")["satellites"][0]["sat_name"] == 'S"\\'
    switched = api(sim.port, "channels", "set", "chnum=0")
    assert switched["current_chname"] == 'Quote " and \\ back'
    for function, action in (("channels", "get"), ("timers", "get"), ("favourites", "get"), ("sat", "transponders")):
        api(sim.port, function, action)
