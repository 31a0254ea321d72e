"""Fixtures for the integration tests: emulated PVR roots and running pvrsim processes."""
import os
import queue
import re
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest

SOURCE = os.environ.get("ORVANE_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD = os.environ.get("ORVANE_BUILD", os.path.join(SOURCE, "build"))
PVRSIM = os.environ.get("PVRSIM", os.path.join(BUILD, "emulator", "pvrsim"))
ORVANE_TAP = os.environ.get("ORVANE_TAP", os.path.join(BUILD, "webserver", "Orvane.tap"))

sys.path.insert(0, os.path.join(SOURCE, "tools"))
import make_demo_disk  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Pvrsim:
    """A running pvrsim: its effect lines on stdout, commands on stdin, console on stderr."""

    def __init__(self, root, taps, idle_ms=10, cwd=None, env=None):
        self.root = root
        self.lines = queue.Queue()
        self.seen = []
        self.console = []
        self.process = subprocess.Popen(
            [PVRSIM, "--root", root, "--idle-ms", str(idle_ms)] + list(taps),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            cwd=cwd or root, env=env, text=True, bufsize=1)
        threading.Thread(target=self._read, args=(self.process.stdout, self.lines), daemon=True).start()
        threading.Thread(target=self._collect, args=(self.process.stderr,), daemon=True).start()

    @staticmethod
    def _read(stream, lines):
        for line in stream:
            lines.put(line.rstrip("\n"))
        lines.put(None)

    def _collect(self, stream):
        for line in stream:
            self.console.append(line)

    def expect(self, pattern, timeout=10):
        """Waits for an effect line matching pattern; returns the match."""
        deadline = time.time() + timeout
        regex = re.compile(pattern)
        for line in self.seen:
            m = regex.search(line)
            if m:
                self.seen.remove(line)
                return m
        while time.time() < deadline:
            try:
                line = self.lines.get(timeout=max(0.01, deadline - time.time()))
            except queue.Empty:
                break
            if line is None:
                break
            m = regex.search(line)
            if m:
                return m
            self.seen.append(line)
        raise AssertionError(f"no line matching {pattern!r}; got {self.seen!r}")

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def stop(self, sig=signal.SIGTERM, timeout=10):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        return self.process.wait(timeout=timeout)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def settings_path(root, name="Orvane.ini"):
    return os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane", name)


def write_ini(root, text):
    with open(settings_path(root), "wb") as f:
        f.write(text.replace("\n", "\r\n").encode())


def read_log(root, name="Orvane.log"):
    path = settings_path(root, name)
    return open(path, "rb").read().decode("latin-1") if os.path.exists(path) else ""


@pytest.fixture
def pvr_root(tmp_path):
    """A freshly generated emulated PVR root with Orvane.tap installed."""
    root = str(tmp_path / "pvr")
    make_demo_disk.generate(root)
    make_demo_disk.install(root, BUILD)
    return root


@pytest.fixture
def start_pvrsim():
    """Starts pvrsim processes and makes sure they end with the test."""
    started = []

    def start(root, taps=None, **kwargs):
        if taps is None:
            taps = [os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")]
        sim = Pvrsim(root, taps, **kwargs)
        started.append(sim)
        return sim

    yield start
    for sim in started:
        sim.kill()
