#!/usr/bin/python3
"""The EPG of a week for 200 channels in pvrsim, end to end: the time pvrsim takes to build
the firmware's event pool from the world file, EPG answers over HTTP with the TAP heap
Orvane.tap held at its peak (pvrsim's "heap" command), the time to write "PVR.epg" (a search
that builds it against one that finds it fresh), and searches from the API call to the last
result received over a WebSocket.

usage: bench/epg_search_bench.py BUILD_DIR"""
import argparse
import datetime
import json
import os
import queue
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import websocket

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "integration"))
import demo_world  # noqa: E402
import make_demo_disk  # noqa: E402
import skimlet_fixtures as fx  # noqa: E402

CHANNELS = 200
DAYS = 7
BASE = datetime.date(2024, 3, 4)
CLOCK = "2024-03-06 12:00:00"
TITLES = ["News at Noon", "Harbour Lives", "Quiz Tide", "The Long Table", "Evening Report", "Northern Skies",
          "Matchday Live", "Puddle Friends", "Ice and Light", "Concert Hall", "Night Train", "Deal Hour"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def world_of_200():
    """The demo world's satellites with 200 TV services on them and a week of events each."""
    rng = random.Random(7)
    world = demo_world.build(5, BASE)
    slots = [(s, t) for s, sat in enumerate(world["satellites"]) for t in range(len(sat["transponders"]))]
    world["services"] = {"tv": [], "radio": []}
    world["favourites"] = {"selected": None, "groups": []}
    world["timers"] = []
    events = []
    for n in range(CHANNELS):
        sat, tp = slots[n % len(slots)]
        world["services"]["tv"].append({"name": "Channel %d" % (n + 1), "lcn": n + 1, "service_id": 0x1000 + n,
                                        "pmt_pid": 0x100 + n, "satellite": sat, "transponder": tp})
        at = datetime.datetime.combine(BASE, datetime.time())
        while at < datetime.datetime.combine(BASE + datetime.timedelta(days=DAYS), datetime.time()):
            minutes = rng.choice((30, 45, 60))
            events.append({"service": {"type": 0, "number": n}, "start": at.strftime("%Y-%m-%d %H:%M"),
                           "duration": minutes, "event_id": len(events) & 0xFFFF, "name": rng.choice(TITLES),
                           "description": "A description of some eighty bytes, as a broadcaster would send it.",
                           "text": "Extended text. " * 20, "content": 0x01, "sourceflag": 1})
            at += datetime.timedelta(minutes=minutes)
    rng.shuffle(events)
    world["epg"] = {"events": events}
    return world


class Pvrsim:
    def __init__(self, build, root):
        env = dict(os.environ, ORVANE_BIND_ADDRESS="127.0.0.1")
        tap = os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")
        self.lines = queue.Queue()
        self.process = subprocess.Popen([os.path.join(build, "emulator", "pvrsim"), "--root", root, "--idle-ms", "0",
                                         tap], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True, env=env, bufsize=1)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))

    def expect(self, pattern, timeout=120):
        deadline = time.time() + timeout
        while time.time() < deadline:
            line = self.lines.get(timeout=max(0.01, deadline - time.time()))
            m = re.search(pattern, line)
            if m:
                return m
        raise RuntimeError(f"pvrsim never printed {pattern}")

    def heap(self):
        self.process.stdin.write("heap\n")
        self.process.stdin.flush()
        m = self.expect(r"heap slot 0 id 0x514b570f in use (\d+) bytes in \d+ blocks, peak (\d+) bytes")
        return int(m.group(1)), int(m.group(2))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)


def api(port, query):
    start = time.time()
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/api?{query}", timeout=120) as answer:
        body = answer.read()
    return time.time() - start, body


def search(port, search_port, pattern, cache=0):
    """(seconds of the API call, to the first result, to the last result, results)."""
    start = time.time()
    took, body = api(port, f"function=epg&action=search!cache={cache}")
    ack = json.loads(body)
    assert ack["error_code"] == 0, ack
    deadline = time.time() + 30
    while True:
        try:
            ws = websocket.create_connection(f"ws://127.0.0.1:{search_port}/skimlet", origin="http://bench",
                                             timeout=120)
            break
        except ConnectionRefusedError:
            if time.time() > deadline:
                raise
            time.sleep(0.01)
    definition = fx.definition_lines("bench", searches=[("T", pattern, 100)], request=True)
    ws.send(fx.request_text([definition]))
    first = None
    pieces = []
    while True:
        try:
            message = ws.recv()
        except websocket.WebSocketConnectionClosedException:
            break
        if not message:
            break
        if not message.startswith("@@"):
            pieces.append(message)
            if first is None and len(pieces) > 1:
                first = time.time() - start
    last = time.time() - start
    ws.close()
    return took, first or last, last, json.loads("".join(pieces))["count"]


def wait_joined(root, count):
    log = os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log")
    deadline = time.time() + 30
    while time.time() < deadline:
        with open(log, "rb") as f:
            if f.read().count(b"Joining 'skimlet' thread") >= count:
                return
        time.sleep(0.02)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    root = tempfile.mkdtemp(prefix="orvane-epg-search-bench-")
    try:
        make_demo_disk.generate(root)
        make_demo_disk.install(root, build)
        world = world_of_200()
        demo_world.write(os.path.join(root, "world.json"), world)
        with open(os.path.join(root, "pvrsim.json")) as f:
            profile = json.load(f)
        profile["clock"] = CLOCK
        with open(os.path.join(root, "pvrsim.json"), "w") as f:
            json.dump(profile, f)
        port, search_port = free_port(), free_port()
        with open(os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini"), "wb") as f:
            f.write(f"port={port}\r\nsearchport={search_port}\r\nlogginglevel=2\r\nauthentication=0\r\n"
                    "epgcache=2\r\n".encode())
        print(f"EPG of {DAYS} days x {CHANNELS} channels in pvrsim: {len(world['epg']['events'])} events, "
              f"world file {os.path.getsize(os.path.join(root, 'world.json')) / 1e6:.1f} MB")
        start = time.time()
        sim = Pvrsim(build, root)
        sim.expect(r"loaded slot 0 id 0x514b570f")
        print(f"  pvrsim started with the pool built in {time.time() - start:.2f} s")
        try:
            print("EPG answers over HTTP (TAP heap of Orvane.tap: peak since its start):")
            for what, query in (("one channel, one day", "chtype=0&chnum=17&starttime=2024/03/05%2000:00:00"
                                 "&endtime=2024/03/06%2000:00:00"),
                                ("one channel, whole week", "chtype=0&chnum=17"),
                                ("every channel, three hours", "starttime=2024/03/05%2018:00:00"
                                 "&endtime=2024/03/05%2021:00:00"),
                                ("everything (up to the answer's limit)", "")):
                took, body = api(port, "function=epg&action=get!" + query)
                count = json.loads(body)["count"]
                in_use, peak = sim.heap()
                print(f"  {what:40s} {took * 1000:8.1f} ms {count:6d} events {len(body) / 1e6:7.2f} MB"
                      f"   heap peak {peak / 1024:8.1f} KB, in use after {in_use / 1024:6.1f} KB")
            print("Searches, from the API call to the last result (PVR source):")
            rounds = 0
            for pattern, cache in (("quiz tide", 1), ("quiz tide", 1), ("^night", 0), ("nothing like it", 0)):
                took, first, last, count = search(port, search_port, pattern, cache)
                rounds += 1
                wait_joined(root, rounds)
                dump = "PVR.epg fresh, kept" if cache and rounds == 2 else "PVR.epg written"
                print(f"  '{pattern}' ({dump}): API answer {took * 1000:7.1f} ms, first result {first:5.2f} s, "
                      f"last {last:5.2f} s, {count} events")
            out = os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg")
            print(f"  PVR.epg {os.path.getsize(out) / 1e6:.1f} MB")
        finally:
            sim.stop()
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
