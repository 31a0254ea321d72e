"""Fixtures for the integration tests: emulated PVR roots and running pvrsim processes."""
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest

import sanitizers

SOURCE = os.environ.get("ORVANE_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD = os.environ.get("ORVANE_BUILD", os.path.join(SOURCE, "build"))
PVRSIM = os.environ.get("PVRSIM", os.path.join(BUILD, "emulator", "pvrsim"))
ORVANE_TAP = os.environ.get("ORVANE_TAP", os.path.join(BUILD, "webserver", "Orvane.tap"))
SKIMLET = os.environ.get("SKIMLET", os.path.join(BUILD, "search", "skimlet"))
sanitizers.set_default_options(SKIMLET)

sys.path.insert(0, os.path.join(SOURCE, "tools"))
import make_demo_disk  # noqa: E402


# The programs and Python modules these tests talk to or compare with. A missing one fails
# every test, naming it: nothing is skipped for want of a tool.
ORACLE_TOOLS = ("curl", "ip", "addr2line", "cmp", "ipcs", "nsenter", "unshare", "tiffinfo")
ORACLE_MODULES = ("websocket", "PIL")


@pytest.fixture(scope="session", autouse=True)
def oracle_tools():
    import importlib.util
    missing = [t for t in ORACLE_TOOLS if not shutil.which(t)]
    missing += [f"python3 module {m}" for m in ORACLE_MODULES if importlib.util.find_spec(m) is None]
    if missing:
        pytest.fail(f"missing test tools: {', '.join(missing)}; run tools/setup-deps.sh test (make test does)",
                    pytrace=False)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Pvrsim:
    """A running pvrsim: its effect lines on stdout, commands on stdin, console on stderr."""

    def __init__(self, root, taps, idle_ms=10, cwd=None, env=None, prefix=()):
        self.root = root
        self.lines = queue.Queue()
        self.seen = []
        self.console = []
        self.taps = []            # (file, start, end) of each TAP seen loaded
        self.process = subprocess.Popen(
            list(prefix) + [PVRSIM, "--root", root, "--idle-ms", str(idle_ms)] + list(taps),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            cwd=cwd or root, env=env, text=True, errors="replace", bufsize=1)
        threading.Thread(target=self._read, args=(self.process.stdout, self.lines), daemon=True).start()
        self._collector = threading.Thread(target=self._collect, args=(self.process.stderr,), daemon=True)
        self._collector.start()

    def _read(self, stream, lines):
        for line in stream:
            if "loaded slot" in line:
                self.taps += sanitizers.taps_loaded(self.process.pid)
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

    def wait_console(self, text, timeout=10):
        """Waits until the console has shown text; returns whether it did."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in "".join(self.console):
                return True
            time.sleep(0.02)
        return False

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

    def finish(self):
        """Ends pvrsim as a user would (stop event, leak check at exit) unless it has ended,
        then fails on any sanitizer report it printed."""
        try:
            self.stop(timeout=30)
        except subprocess.TimeoutExpired:
            self.kill()
        self._collector.join(timeout=10)
        sanitizers.check("".join(self.console), "pvrsim", self.taps)


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
    # The binaries under test, when they are not those of BUILD (the sanitizer build).
    tap = os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")
    if os.path.lexists(tap):
        os.remove(tap)
    os.symlink(os.path.abspath(ORVANE_TAP), tap)
    shutil.copy2(SKIMLET, os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/skimlet"))
    return root


@pytest.fixture
def start_pvrsim():
    """Starts pvrsim processes and makes sure they end with the test, without sanitizer
    reports."""
    started = []

    def start(root, taps=None, **kwargs):
        if taps is None:
            taps = [os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")]
        sim = Pvrsim(root, taps, **kwargs)
        started.append(sim)
        return sim

    yield start
    for sim in started:
        sim.finish()


ECHO_TAP = os.environ.get("ECHO_TAP", os.path.join(BUILD, "tests", "taps", "EchoTest.tap"))
SMARTEPG_TAP = os.environ.get("SMARTEPG_TAP", os.path.join(BUILD, "tests", "taps", "SmartEPG.tap"))


def install_tap(root, built, name):
    """Links a built TAP into the emulated disk's /ProgramFiles; returns its host path."""
    target = os.path.join(root, "mnt/hd/ProgramFiles", name)
    if os.path.lexists(target):
        os.remove(target)
    os.symlink(os.path.abspath(built), target)
    return target


def raw_request(port, data, host="127.0.0.1", timeout=10, read=True):
    """Sends raw request bytes and returns everything the server sent until it closed."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(data)
        if not read:
            return b""
        chunks = []
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            chunks.append(chunk)
        return b"".join(chunks)


def get(port, path, headers=(), method="GET", body=b""):
    """A minimal HTTP/1.1 request; returns (status line, headers dict, body bytes)."""
    head = f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
    for name, value in headers:
        head += f"{name}: {value}\r\n"
    if body:
        head += f"Content-Length: {len(body)}\r\n"
    answer = raw_request(port, head.encode() + b"\r\n" + body)
    header, _, payload = answer.partition(b"\r\n\r\n")
    lines = header.decode("latin-1").split("\r\n")
    fields = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        fields[name.strip().lower()] = value.strip()
    return lines[0], fields, payload


@pytest.fixture
def web_server(pvr_root, start_pvrsim):
    """Orvane.tap serving on a free loopback port, with the echo TAP loaded beside it."""
    def start(ini="", idle_ms=2, echo=True):
        port = free_port()
        write_ini(pvr_root, f"port={port}\nlogginglevel=3\nauthentication=0\n{ini}")
        taps = [os.path.join(pvr_root, "mnt/hd/ProgramFiles/Orvane.tap")]
        if echo:
            target = os.path.join(pvr_root, "mnt/hd/ProgramFiles/EchoTest.tap")
            if not os.path.exists(target):
                os.symlink(ECHO_TAP, target)
            taps.append(target)
        sim = start_pvrsim(pvr_root, taps, idle_ms=idle_ms)
        sim.expect(r"loaded slot 0 id 0x514b570f")
        if echo:
            sim.expect(r"loaded slot 1 id 0x54455354")
        sim.port = port
        return sim
    return start


def public_html(root, name, content=b""):
    """Writes a file below the document root and returns its path."""
    path = os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)
    return path


@pytest.fixture
def root(tmp_path):
    """A root for skimlet alone: its folder with the description dumps."""
    import skimlet_fixtures as fx
    r = str(tmp_path / "pvr")
    os.makedirs(os.path.join(r, fx.ROOT_FOLDER))
    fx.write_dumps(r)
    return r
