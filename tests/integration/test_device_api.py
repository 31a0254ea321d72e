"""Configuration, status, remote control and volume through the API of Orvane.tap on pvrsim:
a real HTTP client, every answer read by a strict JSON parser (UTF-8, no repeated members),
the expected values from the demo disk's model table and profile, and every key, typed
character, volume change and power action seen as pvrsim's effect or a test TAP's console
line."""
import json
import os
import re

import pytest

from api_client import api
from conftest import BUILD, ECHO_TAP, ORVANE_TAP, free_port, make_demo_disk, write_ini

ECHO_ID = 0x54455354
CONFIG_MEMBERS = [
    "content", "sysid", "device", "apptype", "systemtype", "bigendian", "remotetype", "maxrecstreams", "version",
    "recextension", "language_code", "utfpvr", "zel5ver", "blockfactor", "aupvr", "analogueinput", "utcoffset", "dst",
    "pre_padding", "post_padding", "hddmodel", "hddserial", "hddfirmware", "pvrname", "logginglevel", "epgsource",
    "module_count"]
STATUS_MEMBERS = [
    "content", "state", "substate", "current_chtype", "current_chnum", "current_logoid", "totaldisk", "freedisk",
    "heapsize", "freeheapsize", "availheapsize", "playstatus", "playmode", "trickmode", "speed", "svctype", "svcnum",
    "logoid", "duration", "durationsec", "currentblock", "totalblock", "filename", "filename_hex", "absolutefilename",
    "recording", "drive_count", "drives", "sleeptimer", "timestamp"]
RECORDING_MEMBERS = ["slot", "rectype", "tuner", "svctype", "svcnum", "logoid", "duration", "starttime", "endtime",
                     "endtime_raw", "recordedsec", "filename_hex", "filename"]


def make_root(tmp_path, system_id, change_profile=None):
    root = str(tmp_path / ("pvr%d" % system_id))
    make_demo_disk.generate(root, system_id=system_id)
    make_demo_disk.install(root, BUILD)
    tap = os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")
    if os.path.lexists(tap):
        os.remove(tap)
    os.symlink(os.path.abspath(ORVANE_TAP), tap)
    os.symlink(ECHO_TAP, os.path.join(root, "mnt/hd/ProgramFiles/EchoTest.tap"))
    if change_profile:
        path = os.path.join(root, "pvrsim.json")
        with open(path) as f:
            profile = json.load(f)
        change_profile(profile)
        with open(path, "w") as f:
            json.dump(profile, f)
    return root


@pytest.fixture
def serve(start_pvrsim):
    def start(root):
        port = free_port()
        write_ini(root, "port=%d\nlogginglevel=1\nauthentication=0\n" % port)
        with open(os.path.join(root, "mnt/hd/ProgramFiles/Settings/PVRName.ini"), "wb") as f:
            f.write(b'pvrname=Den "big" \\ box\r\n')
        programs = os.path.join(root, "mnt/hd/ProgramFiles")
        sim = start_pvrsim(root, [os.path.join(programs, "Orvane.tap"), os.path.join(programs, "EchoTest.tap")])
        sim.expect(r"loaded slot 0 id 0x514b570f")
        sim.expect(r"loaded slot 1 id 0x54455354")
        sim.port = port
        return sim
    return start


def not_seen(sim, pattern):
    """No effect line seen so far (and set aside by expect) matches pattern."""
    return not any(re.search(pattern, line) for line in sim.seen)


@pytest.mark.parametrize("model", make_demo_disk.MODELS, ids=lambda m: str(m[0]))
def test_config_and_status_on_every_demo_profile(tmp_path, serve, model):
    system_id, name, app_type, system_type, remote, streams, mpg = model
    root = make_root(tmp_path, system_id)
    os.makedirs(os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/epg view"))
    with open(os.path.join(root, "pvrsim.json")) as f:
        profile = json.load(f)
    sim = serve(root)

    config = api(sim.port, "config", "get")
    assert list(config) == CONFIG_MEMBERS[:-1] + ["module_count", "modules", "boot_reason", "timestamp"]
    assert config["content"] == "config"
    assert (config["sysid"], config["device"], config["apptype"]) == (system_id, name, app_type)
    assert (config["systemtype"], config["remotetype"], config["maxrecstreams"]) == (system_type, remote, streams)
    assert config["version"] == profile["tap_api_version"]
    assert config["recextension"] == (".mpg" if mpg else ".rec")
    assert config["blockfactor"] == (9024 if mpg else 9028)
    assert config["language_code"] == "en"
    assert (config["utfpvr"], config["aupvr"]) == (1, 0)
    assert config["analogueinput"] == (1 if system_id in make_demo_disk.ANALOGUE_MODELS else 0)
    assert (config["utcoffset"], config["dst"]) == (profile["utc_offset"], 0)
    padding = profile["timer_padding"]
    assert (config["pre_padding"], config["post_padding"]) == (padding["pre"], padding["post"])
    identity = profile["disk_identity"]
    assert (config["hddmodel"], config["hddserial"], config["hddfirmware"]) == (
        identity["model"], identity["serial"], identity["firmware"])
    assert config["pvrname"] == 'Den "big" \\ box'
    assert config["module_count"] == 1
    assert config["modules"] == [{"name": "epg view", "name_hex": "epg view".encode().hex()}]
    assert config["boot_reason"] == profile["power_on_source"]

    status = api(sim.port, "status", "get")
    assert list(status) == STATUS_MEMBERS
    assert status["content"] == "status"
    assert status["playstatus"] == 1 and status["playmode"] == 0 and status["filename"] == ""
    assert len(status["recording"]) == streams
    for slot, recording in enumerate(status["recording"]):
        assert list(recording) == RECORDING_MEMBERS
        assert (recording["slot"], recording["rectype"], recording["logoid"]) == (slot, 0, "0" * 16)
        assert recording["starttime"] == recording["endtime"] == recording["endtime_raw"] == "0"
    drive = profile["external_partitions"][0]
    assert status["drive_count"] == 1
    record = status["drives"][0]
    assert (record["name"], record["path"], record["mountpath"], record["partitiontype"]) == (
        drive["name"], drive["path"], drive["mount"], drive["type"])
    statistics = os.statvfs(os.path.join(root, "mnt/sdb1"))
    assert record["size_mb"] == statistics.f_bsize * statistics.f_blocks >> 20
    assert abs(record["free_mb"] - (statistics.f_bsize * statistics.f_bfree >> 20)) <= 64
    disk = os.statvfs(os.path.join(root, "mnt/hd"))
    assert status["totaldisk"] == disk.f_frsize * disk.f_blocks >> 20


def test_status_while_recording_and_with_no_model_record(tmp_path, serve):
    def recording(profile):
        profile["recordings"][1] = {"type": 1, "duration": 90, "tuner": 1, "svc_type": 0, "svc_num": 2,
                                    "start": "2026-03-01 20:15", "file": 'News "late".rec'}
    root = make_root(tmp_path, 22010, recording)
    sim = serve(root)
    slot = api(sim.port, "status", "get")["recording"][1]
    assert (slot["rectype"], slot["tuner"], slot["svcnum"], slot["duration"]) == (1, 1, 2, 90)
    assert (slot["starttime"], slot["endtime"], slot["endtime_raw"]) == (
        "2026/03/01 20:15:00", "2026/03/01 21:45:00", "2026/03/01 21:45:00")
    assert slot["filename"] == 'News "late".rec' and slot["logoid"] != "0" * 16
    assert bytes.fromhex(slot["filename_hex"]) == b'News "late".rec'
    sim.finish()

    # A foreign model table: no model record matches, the slots are those the firmware has.
    with open(os.path.join(root, "mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat"), "wb") as f:
        f.write(make_demo_disk.model_table([(12345, "Other", "X", 5, 1, 2, 0)]))
    sim = serve(root)
    config = api(sim.port, "config", "get")
    assert (config["device"], config["apptype"], config["remotetype"], config["maxrecstreams"]) == ("", "", 0, 0)
    status = api(sim.port, "status", "get")
    assert len(status["recording"]) == 4 and status["recording"][1]["rectype"] == 1


def test_keys_reach_the_firmware_with_their_codes(tmp_path, serve):
    sim = serve(make_root(tmp_path, 22010))   # remote type 2
    for word, code in (("ok", 0x1001E), ("red", 0x10047), ("chup", 0x10025), ("7", 0x10007)):
        answer = api(sim.port, "remote", "send", "key=" + word)
        assert list(answer) == ["count", "timestamp", "content", "requested_key", "code_generated"]
        assert (answer["count"], answer["content"], answer["requested_key"]) == (0, "remote", word)
        assert answer["code_generated"] == "0x%06x" % code
        sim.expect(r"key 0x%05x pressed" % code)
        sim.expect(r"key 0x%05x released" % code)
    answer = api(sim.port, "remote", "send", "key=long-menu&other=1")
    assert (answer["requested_key"], answer["code_generated"]) == ("menu", "0x01001c")
    for kind in ("pressed", "held", "released"):
        sim.expect(r"key 0x1001c %s" % kind)
    answer = api(sim.port, "remote", "send", 'key=a"b\\c')
    assert (answer["requested_key"], answer["code_generated"]) == ('a"b\\c', "0x000000")
    sim.expect(r"key 0x00000 pressed")


def test_a_typed_character_reaches_every_tap_as_event_0ffd(tmp_path, serve):
    sim = serve(make_root(tmp_path, 22010))
    answer = api(sim.port, "ascii", "send", "char=65&x=y")
    assert list(answer) == ["count", "timestamp", "content", "requested_char", "char_generated"]
    assert (answer["content"], answer["requested_char"], answer["char_generated"]) == ("ascii", "65", "65")
    assert sim.wait_console("echo-tap: character 65")
    sim.expect(r"event 0x0ffd param1 0x00000041 param2 0x00000000 to slot 1")
    assert not_seen(sim, r"key 0x")


def test_volume_round_trips_and_mute(tmp_path, serve):
    sim = serve(make_root(tmp_path, 22010))
    assert api(sim.port, "volume", "get")["level"] == 10
    change = api(sim.port, "vol", "set", "level=5")
    assert list(change) == ["content", "level_before", "mute_before", "level_after", "mute_after", "timestamp"]
    assert (change["level_before"], change["level_after"], change["mute_after"]) == (10, 5, 0)
    got = api(sim.port, "vol", "get")
    assert list(got) == ["content", "level", "mute", "timestamp"]
    assert (got["content"], got["level"], got["mute"]) == ("volume", 5, 0)
    change = api(sim.port, "volume", "set", "level=mute")
    assert (change["mute_before"], change["mute_after"], change["level_after"]) == (0, 1, 5)
    sim.expect(r"key 0x1000c pressed")
    sim.expect(r"volume 5, muted")
    got = api(sim.port, "volume", "get")
    assert (got["level"], got["mute"]) == (5, 1)
    change = api(sim.port, "volume", "set", "level=mute")   # muted already: no key
    assert (change["mute_before"], change["mute_after"]) == (1, 1)
    change = api(sim.port, "volume", "set", "level=unmute")
    assert (change["mute_before"], change["mute_after"]) == (1, 0)
    sim.expect(r"key 0x1000c pressed")
    sim.expect(r"volume 5, sound on")
    assert not_seen(sim, r"key 0x1000c")   # one mute key each time, none while muted already
    assert api(sim.port, "volume", "set", "level=25")["level_after"] == 17
    assert api(sim.port, "volume", "set", "level=-3")["level_after"] == 0


def test_reboot_during_a_recording_is_refused_without_a_key(tmp_path, serve):
    def recording(profile):
        profile["recordings"][0] = {"type": 1, "duration": 30}
    sim = serve(make_root(tmp_path, 22010, recording))
    answer = api(sim.port, "remote", "send", "key=reboot")
    assert (answer["requested_key"], answer["code_generated"]) == ("reboot", "0x01000a")
    api(sim.port, "remote", "send", "key=ok")
    sim.expect(r"key 0x1001e released")   # everything the reboot request did is seen by now
    assert not_seen(sim, r"key 0x1000a|: reboot$|power off")
    api(sim.port, "remote", "send", "key=forcereboot")
    sim.expect(r"key 0x1000a pressed")
    sim.expect(r"^pvrsim: reboot$")


def test_reboot_and_power_off_when_idle(tmp_path, serve):
    sim = serve(make_root(tmp_path, 22010))
    api(sim.port, "remote", "send", "key=reboot")
    sim.expect(r"key 0x1000a pressed")
    sim.expect(r"^pvrsim: reboot$")
    api(sim.port, "remote", "send", "key=power")
    sim.expect(r"power off")
