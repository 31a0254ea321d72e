"""The TAP management and logo API against pvrsim: starts and stops seen in the task list,
in pvrsim's effect lines and on the started TAP's console; the start hand-over's shared
memory checked with ipcs; logo rebuilds with a test TAP in the configuration TAP's place."""
import base64
import ctypes
import json
import os
import subprocess
import urllib.parse
import urllib.request

import pytest

from conftest import ECHO_TAP, SMARTEPG_TAP, install_tap, public_html

ECHO_ID = 0x54455354


def api(port, function, action, params=""):
    url = f"http://127.0.0.1:{port}/api?function={function}&action={action}!{params}"
    with urllib.request.urlopen(url, timeout=15) as response:
        return json.loads(response.read())


def ipcs(pid, *options):
    """ipcs as process pid sees System V IPC (pvrsim keeps its own namespace)."""
    own = os.readlink(f"/proc/{pid}/ns/ipc") != os.readlink("/proc/self/ns/ipc")
    command = (["nsenter", f"--ipc=/proc/{pid}/ns/ipc"] if own else []) + ["ipcs"] + list(options)
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def segments_of(pid):
    """Keys of the System V segments that process pid created (ipcs)."""
    keys = {}
    for line in ipcs(pid, "-m").splitlines():
        words = line.split()
        if len(words) > 1 and words[0].startswith("0x"):
            keys[words[1]] = words[0]
    created = []
    for line in ipcs(pid, "-m", "-p").splitlines():
        words = line.split()
        if len(words) > 2 and words[2] == str(pid):
            created.append(keys.get(words[0]))
    return created


class HostSegment:
    """A System V segment of the test's own namespace under a key the PVR's TAPs use."""

    def __init__(self, key):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.id = self.libc.shmget(key, 12, 0o1000 | 0o2000 | 0o600)   # IPC_CREAT | IPC_EXCL
        assert self.id >= 0, f"a segment with key {key} exists already: {os.strerror(ctypes.get_errno())}"

    def remove(self):
        self.libc.shmctl(self.id, 0, None)   # IPC_RMID


def test_start_list_and_stop(pvr_root, web_server):
    install_tap(pvr_root, ECHO_TAP, "EchoTest.tap")
    install_tap(pvr_root, SMARTEPG_TAP, "SmartEPG.tap")
    sim = web_server(echo=False)
    assert [t["name"] for t in api(sim.port, "taps", "get")["tap"]] == ["Orvane 2.20"]

    # A block with zero bytes in it: a 16-bit length and the bytes, as the test TAP reads it.
    block = bytes([6, 0, 0, 1, 0, 2, 0, 255])
    params = "filename=/ProgramFiles/EchoTest.tap&tap_params=" + urllib.parse.quote(base64.b64encode(block), safe="")
    answer = api(sim.port, "taps", "start", params)
    assert list(answer) == ["count", "timestamp", "content", "requested_tap", "requested_tap_hex", "return_code",
                            "error", "error_text", "tap_params"]
    assert (answer["return_code"], answer["error"], answer["tap_params"]) == (1, 0, base64.b64encode(block).decode())
    sim.expect(r"exec /ProgramFiles/EchoTest\.tap$")
    slot = int(sim.expect(r"loaded slot (\d+) id 0x54455354").group(1))
    assert sim.wait_console("echo-tap: started, parameter block " + block.hex() + "\n")
    assert segments_of(sim.process.pid) == []

    answer = api(sim.port, "tap", "run", "filename_hex=" + b"/mnt/hd/ProgramFiles/SmartEPG.tap".hex())
    assert answer["error_text"] == "Start request succeeded"
    listing = api(sim.port, "taps", "get")
    assert listing["count"] == 3
    by_id = {t["tapid"]: t for t in listing["tap"]}
    assert by_id[ECHO_ID]["index"] == slot
    assert by_id[ECHO_ID]["file_name"] == "/mnt/hd/ProgramFiles/EchoTest.tap"
    assert by_id[0x8E0A424E]["version"] == "V7.0"

    answer = api(sim.port, "taps", "stop", f"index={slot}&tapid_hex=54455354")
    assert (answer["error"], answer["actual_tapid_hex"]) == (0, "54455354")
    sim.expect(rf"unloaded slot {slot} id 0x54455354")
    answer = api(sim.port, "taps", "stop", "filename=%2Fmnt%2Fhd%2FProgramFiles%2FSmartEPG.tap")
    assert answer["error"] == 0
    sim.expect(r"unloaded slot \d+ id 0x8e0a424e")
    assert api(sim.port, "taps", "get")["count"] == 1

    assert api(sim.port, "taps", "stop", f"index=-1&tapid={ECHO_ID}")["error_text"] == "Index out of range"
    missing = api(sim.port, "taps", "start", "filename=/ProgramFiles/Nothing.tap")
    assert (missing["return_code"], missing["error"], missing["error_text"]) == (0, 1, "Requested file not found")


def test_batch_starts_for_the_logos(pvr_root, web_server):
    # Without the configuration TAP the rebuild reports the failed start.
    sim = web_server(echo=False)
    answer = api(sim.port, "logos", "rebuild")
    assert (answer["content"], answer["return_code"], answer["error"]) == ("logo_rebuild_requested", 0, 1)
    sim.finish()

    # The test TAP in its place: at start-up the missing logo files start it in batch mode,
    # and so does a rebuild; in batch mode it ends at once.
    install_tap(pvr_root, ECHO_TAP, "Orvane-Config.tap")
    sim = web_server(echo=False)
    sim.expect(r"exec /ProgramFiles/Orvane-Config\.tap in batch mode")
    assert sim.wait_console("echo-tap: started in batch mode\n")
    answer = api(sim.port, "logo", "rebuild")
    assert (answer["return_code"], answer["error"], answer["error_text"]) == (1, 0, "Start request succeeded")
    sim.expect(r"exec /ProgramFiles/Orvane-Config\.tap in batch mode")
    sim.expect(r"unloaded slot \d+ id 0x54455354")
    assert segments_of(sim.process.pid) == []
    sim.finish()

    # All four files there: no rebuild at start-up; the index is served.
    for name in ("css", "log", "png", "txt"):
        public_html(pvr_root, "service-logos." + name, b'{"content":"logos","logos":[],"count":0}')
    sim = web_server(echo=False)
    assert api(sim.port, "logos", "get") == {"content": "logos", "logos": [], "count": 0}
    assert api(sim.port, "channels", "getlogos") == {"content": "logos", "logos": [], "count": 0}
    sim.send("heap")
    sim.expect(r"heap slot 0 ")
    assert not any("Orvane-Config" in line for line in sim.seen)


def test_other_pvrs_on_the_host_do_not_meet_the_start_hand_over(pvr_root, web_server):
    # Segments under the batch and hand-over keys, as another emulated PVR on the same host
    # makes them during its starts: this PVR's starts neither see nor remove them. A machine
    # that allows no IPC namespace of one's own (an unprivileged container) cannot give that.
    if subprocess.run(["unshare", "--ipc", "true"], capture_output=True).returncode != 0:
        pytest.skip("this machine allows no IPC namespace of a process's own")
    install_tap(pvr_root, ECHO_TAP, "EchoTest.tap")
    sim = web_server(echo=False)
    assert os.readlink(f"/proc/{sim.process.pid}/ns/ipc") != os.readlink("/proc/self/ns/ipc")
    batch, hand_over = HostSegment(86567), HostSegment(86568)
    try:
        answer = api(sim.port, "taps", "start", "filename=/ProgramFiles/EchoTest.tap&tap_params=AgCquw%3D%3D")
        assert (answer["error"], answer["error_text"]) == (0, "Start request succeeded")
        sim.expect(r"exec /ProgramFiles/EchoTest\.tap$")
        assert sim.wait_console("echo-tap: started, parameter block 0200aabb\n")
        assert segments_of(sim.process.pid) == []
        host = subprocess.run(["ipcs", "-m"], capture_output=True, text=True, check=True).stdout
        assert "0x00015227" in host and "0x00015228" in host
    finally:
        batch.remove()
        hand_over.remove()
    sim.finish()
