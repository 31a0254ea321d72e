"""EPG searches end to end in pvrsim: the API call starts skimlet as a process of its own, a
WebSocket client (python3-websocket) sends the search and receives progress and the events
that match, as the world file says; the status goes from running to finished; a stop of
pvrsim during a search ends skimlet too."""
import json
import os
import re
import signal
import sys
import time

import pytest
import websocket

import epg_world
import skimlet_fixtures as fx
from conftest import SOURCE, free_port, get, read_log, write_ini

sys.path.insert(0, os.path.join(SOURCE, "tests", "oracles"))
import pvr_epg  # noqa: E402


@pytest.fixture
def search_pvr(pvr_root, start_pvrsim):
    """pvrsim on the demo disk at epg_world.CLOCK with skimlet's results port free."""
    def start(smartepg=None, ini=""):
        world = epg_world.prepare(pvr_root)
        port, search_port = free_port(), free_port()
        write_ini(pvr_root, f"port={port}\nsearchport={search_port}\nlogginglevel=2\nauthentication=0\n{ini}")
        taps = [os.path.join(pvr_root, "mnt/hd/ProgramFiles/Orvane.tap")]
        if smartepg:
            taps.append(epg_world.install_smartepg(pvr_root, smartepg))
        env = dict(os.environ, ORVANE_BIND_ADDRESS="127.0.0.1")
        sim = start_pvrsim(pvr_root, taps, env=env, idle_ms=2)
        sim.expect(r"loaded slot 0 id 0x514b570f")
        sim.port, sim.search_port, sim.root = port, search_port, pvr_root
        sim.events = epg_world.events(world)
        return sim
    return start


def search(sim, **params):
    query = "&".join(f"{k}={v}" for k, v in params.items())
    status, _, body = get(sim.port, f"/api?function=epg&action=search!{query}")
    assert status.startswith("HTTP/1.1 200"), status
    return json.loads(body)


def skimlets(root):
    """(pid, process group, descriptor targets) of every skimlet started on this root."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
            with open(f"/proc/{pid}/environ", "rb") as f:
                environ = f.read().split(b"\0")
            if not argv[0].endswith(b"/skimlet") or b"ORVANE_ROOT=" + root.encode() not in environ:
                continue
            fds = {}
            for fd in os.listdir(f"/proc/{pid}/fd"):
                fds[int(fd)] = os.readlink(f"/proc/{pid}/fd/{fd}")
            found.append((int(pid), os.getpgid(int(pid)), fds))
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            continue
    return found


def socket_inodes(pid):
    out = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except FileNotFoundError:
            continue
        if target.startswith("socket:"):
            out.add(target)
    return out


def receive_results(port, request):
    """Sends the request over a WebSocket; returns (progress values, results document)."""
    deadline = time.time() + 20
    while True:
        try:
            ws = websocket.create_connection(f"ws://127.0.0.1:{port}/skimlet", origin="http://pvr.test", timeout=60)
            break
        except ConnectionRefusedError:
            assert time.time() < deadline, "skimlet never listened"
            time.sleep(0.05)
    ws.send(request)
    progress, pieces = [], []
    while True:
        try:
            message = ws.recv()
        except websocket.WebSocketConnectionClosedException:
            break
        if not message:
            break
        m = re.fullmatch(r"@@PROGRESS@@=(\d+)", message)
        if m:
            progress.append(int(m.group(1)))
        else:
            pieces.append(message)
    ws.close()
    return progress, json.loads("".join(pieces))


def test_a_search_finds_the_world_s_events_over_a_websocket(search_pvr):
    sim = search_pvr()
    ack = search(sim)
    assert ack == {"content": "skimlet_ack", "error_code": 0, "error_text": "'skimlet' starting",
                   "epgsource": "pvr", "requested_cache": "0", "port": sim.search_port,
                   "timestamp": ack["timestamp"]}
    # Running: a second search starts nothing.
    again = search(sim)
    assert (again["error_code"], again["error_text"]) == (1, "'skimlet' already running")
    (pid, group, fds), = skimlets(sim.root)
    # A process of its own with the standard descriptors only: none of the web server's
    # sockets or files.
    assert group == pid != os.getpgid(sim.process.pid)
    assert fds[0] == "/dev/null"
    assert fds[1].endswith("/Settings/Orvane/search_output.txt")
    assert not (socket_inodes(pid) & socket_inodes(sim.process.pid))
    assert not [t for fd, t in fds.items() if fd > 2 and not t.startswith("socket:")]

    definition = fx.definition_lines("quiz", searches=[("T", "quiz tide", 100)], request=True)
    progress, results = receive_results(sim.search_port, fx.request_text([definition]))
    want = [e for e in sim.events if re.search("quiz tide", e["name"], re.I)]
    assert results["content"] == "epg_search_results" and results["source"] == "pvr"
    assert results["count"] == len(want) == len(results["event"]) > 10
    assert sorted((e["logoid"], e["eventid"], e["starttime_local"]) for e in results["event"]) == \
        sorted(("%016x" % e["logoid"], e["eventid"], epg_world.json_date(e["start"])) for e in want)
    assert progress == sorted(progress) and progress[-1] == 100
    # Finished: the worker is joined, skimlet is gone and a new search starts.
    deadline = time.time() + 10
    while "Joining 'skimlet' thread after" not in read_log(sim.root) and time.time() < deadline:
        time.sleep(0.05)
    assert "Joining 'skimlet' thread after" in read_log(sim.root)
    assert skimlets(sim.root) == []
    assert search(sim)["error_code"] == 0


@pytest.mark.parametrize("layout", ["smartepg15", "smartepg13"])
def test_a_search_of_the_smartepg_database(search_pvr, layout):
    sim = search_pvr(smartepg=layout)
    sim.expect(r"loaded slot 1 id 0x8e0a424e")
    ack = search(sim, epgsource="smartepg")
    assert (ack["error_code"], ack["epgsource"]) == (0, layout)
    definition = fx.definition_lines("quiz", searches=[("T", "quiz tide", 100)], request=True)
    progress, results = receive_results(sim.search_port, fx.request_text([definition]))
    want = [e for e in sim.events if re.search("quiz tide", e["name"], re.I)]
    assert results["count"] == len(want) == len(results["event"]) > 10
    # SmartEPG keeps local starts: the same local times as the PVR's own EPG gives.
    assert sorted((e["logoid"], e["eventid"], e["starttime_local"]) for e in results["event"]) == \
        sorted(("%016x" % e["logoid"], e["eventid"], epg_world.json_date(e["start"])) for e in want)
    assert progress[-1] == 100
    # No PVR dump is needed for it.
    assert not os.path.exists(os.path.join(sim.root, fx.ROOT_FOLDER, "PVR.epg"))


def test_the_pvr_dump_is_kept_while_fresh(search_pvr):
    sim = search_pvr(ini="epgcache=2\n")
    dump = os.path.join(sim.root, fx.ROOT_FOLDER, "PVR.epg")
    assert search(sim, cache=1)["requested_cache"] == "1"
    built = os.stat(dump).st_mtime_ns
    with open(dump, "rb") as f:
        records, _ = pvr_epg.read(f.read())
    assert len(records) == len(sim.events)
    for pid, _, _ in skimlets(sim.root):
        os.kill(pid, signal.SIGTERM)   # the search is not wanted: the worker sees skimlet end
    deadline = time.time() + 10
    while "Joining 'skimlet' thread" not in read_log(sim.root) and time.time() < deadline:
        time.sleep(0.05)
    assert search(sim, cache=1)["error_code"] == 0
    assert os.stat(dump).st_mtime_ns == built
    assert re.search(r"PVR EPG cache still fresh, 59 minutes until expiry\.", read_log(sim.root))


@pytest.mark.parametrize("stop", ["sigterm", "tmscommander"])
def test_a_stop_during_a_search_ends_skimlet(search_pvr, stop):
    sim = search_pvr()
    assert search(sim)["error_code"] == 0
    (pid, _, _), = skimlets(sim.root)
    if stop == "sigterm":
        sim.process.send_signal(signal.SIGTERM)
        assert sim.process.wait(timeout=20) == 0
    else:
        sim.send("tmscommander 1")
        sim.send("event 0")
        deadline = time.time() + 20
        while os.path.exists(f"/proc/{pid}") and time.time() < deadline:
            time.sleep(0.05)
    log = read_log(sim.root)
    assert f"Ending 'skimlet' (process {pid})." in log
    assert not os.path.exists(f"/proc/{pid}")
    assert skimlets(sim.root) == []
