#!/usr/bin/python3
"""Requests per second of Orvane.tap in pvrsim (--idle-ms 0), side by side with busybox httpd
and lighttpd serving the same files on loopback: one client, a new connection per request.
Rows: a 1 KiB file, a 1 MiB file, and a small JSON answer (for Orvane the API forwarding
failure object; the other servers serve the same bytes from a file). Two clients: a Python
one, and ApacheBench (ab, one request at a time), whose C loop measures rates the Python
client cannot reach.

Each server runs in a session of its own and only the one being measured runs: the others
are stopped, so pvrsim's polling loop takes no processor time from them. The servers are
measured in turn for --rounds rounds and each figure is the best round, so that load from
other processes falls on all of them alike.

pvrsim at --idle-ms 0 polls without sleeping, so on a machine busy with other work it gets
only its share of the processor while the servers that sleep until a client calls are woken
at once. --realtime CPU (root) measures as on a machine of its own without taking all of
this one: the server being measured and the client run on that one CPU under SCHED_FIFO, the
client at the higher priority, so they hand the CPU to each other and other processes keep
the remaining CPUs.

usage: bench/http_bench.py BUILD_DIR [--seconds N] [--rounds N] [--realtime CPU]"""
import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import make_demo_disk  # noqa: E402

JSON_BODY = (b"{\"content\":\"tap_response\",\r\n\"tap\":1234,\r\n\"tap_hex\":\"000004d2\",\r\n"
             b"\"retstatus\":0,\r\n\"status\":0}\r\n")
SERVER_PRIORITY, CLIENT_PRIORITY = 10, 20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode())
        total = 0
        while True:
            chunk = s.recv(262144)
            if not chunk:
                return total
            total += len(chunk)


def wait_listening(port, timeout=10):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on {port}")


def realtime(cpu, priority, pid=0):
    """Runs process pid (0: the calling one) on cpu under SCHED_FIFO at priority, or, with
    cpu None, on every CPU under normal scheduling."""
    os.sched_setaffinity(pid, {cpu} if cpu is not None else range(os.cpu_count()))
    if cpu is None:
        os.sched_setscheduler(pid, os.SCHED_OTHER, os.sched_param(0))
    else:
        os.sched_setscheduler(pid, os.SCHED_FIFO, os.sched_param(priority))


def python_rate(port, path, expect_min, seconds, cpu):
    """Complete answers per second, and the number of connections closed without one (at
    --idle-ms 0 the 101 empty polls of the read time-out pass in well under a millisecond)."""
    if cpu is not None:
        realtime(cpu, CLIENT_PRIORITY)
    try:
        fetch(port, path)
        count, dropped, start = 0, 0, time.perf_counter()
        while time.perf_counter() - start < seconds:
            if fetch(port, path) < expect_min:
                dropped += 1
            else:
                count += 1
        return count / (time.perf_counter() - start), dropped
    finally:
        if cpu is not None:
            realtime(None, 0)


def ab_rate(port, path, expect_min, seconds, cpu):
    """Requests per second measured by ab, and the number of failed requests (including
    answers shorter than expect_min)."""
    result = subprocess.run(["ab", "-q", "-c", "1", "-t", str(max(1, round(seconds))), "-n", "10000000",
                             f"http://127.0.0.1:{port}{path}"],
                            capture_output=True, text=True, timeout=seconds + 60,
                            preexec_fn=None if cpu is None else lambda: realtime(cpu, CLIENT_PRIORITY))
    figures = dict(re.findall(r"^([A-Za-z ]+):\s+([0-9.]+)", result.stdout, re.M))
    if "Requests per second" not in figures:
        raise RuntimeError(f"ab failed: {result.stderr.strip() or result.stdout.strip()}")
    failed = int(figures.get("Failed requests", 0))
    if int(figures.get("Document Length", 0)) < expect_min:
        failed = int(figures.get("Complete requests", 0))
    return float(figures["Requests per second"]), failed


CLIENTS = [("Python client", python_rate), ("ab -c 1", ab_rate)]


def make_files(work, build):
    root = os.path.join(work, "pvr")
    make_demo_disk.generate(root)
    make_demo_disk.install(root, build)
    docroot = os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html")
    for name, data in (("small.bin", os.urandom(1024)), ("large.bin", os.urandom(1 << 20)),
                       ("answer.json", JSON_BODY)):
        with open(os.path.join(docroot, name), "wb") as f:
            f.write(data)
    return root, docroot


def start_servers(work, build, root, docroot, ports):
    """The three servers, each in a session of its own."""
    with open(os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini"), "wb") as f:
        f.write(f"port={ports['Orvane']}\r\nlogginglevel=0\r\nauthentication=0\r\ncachecontrol=0\r\n".encode())
    conf = os.path.join(work, "lighttpd.conf")
    with open(conf, "w") as f:
        f.write(f'server.document-root = "{docroot}"\nserver.port = {ports["lighttpd"]}\n'
                f'server.bind = "127.0.0.1"\nserver.max-keep-alive-requests = 0\n'
                f'mimetype.assign = (".json" => "application/json", "" => "application/octet-stream")\n')
    commands = {
        "Orvane": [os.path.join(build, "emulator/pvrsim"), "--root", root, "--idle-ms", "0",
                   os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")],
        "busybox httpd": ["busybox", "httpd", "-f", "-p", f"127.0.0.1:{ports['busybox httpd']}", "-h", docroot],
        "lighttpd": ["lighttpd", "-D", "-f", conf],
    }
    servers = {}
    for name, command in commands.items():
        servers[name] = subprocess.Popen(
            command, stdin=subprocess.PIPE if name == "Orvane" else subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    for port in ports.values():
        wait_listening(port)
    return servers


def only_running(servers, name, cpu):
    """Stops every server but name, which runs (on cpu under SCHED_FIFO when given: only
    while it is measured, so no other real-time process can keep it from running)."""
    for other, process in servers.items():
        if other != name:
            if cpu is not None:
                realtime(None, 0, process.pid)
            os.kill(process.pid, signal.SIGSTOP)
    if cpu is not None:
        realtime(cpu, SERVER_PRIORITY, servers[name].pid)
    os.kill(servers[name].pid, signal.SIGCONT)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--seconds", type=float, default=2)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--realtime", type=int, metavar="CPU")
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="orvane-http-bench-")
    servers = {}
    try:
        root, docroot = make_files(work, args.build)
        ports = {name: free_port() for name in ("Orvane", "busybox httpd", "lighttpd")}
        servers = start_servers(work, args.build, root, docroot, ports)
        rows = [("1 KiB file", "/small.bin", 1024), ("1 MiB file", "/large.bin", 1 << 20),
                ("JSON answer", None, len(JSON_BODY))]
        mode = f"SCHED_FIFO on CPU {args.realtime}" if args.realtime is not None else "normal scheduling"
        print(f"requests/s, best of {args.rounds} rounds of {args.seconds:g} s, {mode}")
        for client, measure in CLIENTS:
            print(f"{client:14}" + "".join(f"{name:>16}" for name in ports)
                  + f"{'Orvane/busybox':>16}{'Orvane/lighttpd':>17}")
            for label, path, size in rows:
                figures = {name: 0.0 for name in ports}
                dropped = {name: 0 for name in ports}
                for _ in range(args.rounds):
                    for name, port in ports.items():
                        only_running(servers, name, args.realtime)
                        target = path or ("/api?function=x&tap=1234!" if name == "Orvane" else "/answer.json")
                        figure, lost = measure(port, target, size, args.seconds, args.realtime)
                        figures[name] = max(figures[name], figure)
                        dropped[name] += lost
                print(f"{label:14}" + "".join(f"{figures[n]:16.0f}" for n in ports) +
                      f"{figures['Orvane'] / figures['busybox httpd']:16.2f}"
                      f"{figures['Orvane'] / figures['lighttpd']:17.2f}"
                      + (f"   (dropped: {dropped})" if any(dropped.values()) else ""), flush=True)
            print()
    finally:
        for process in servers.values():
            if args.realtime is not None:
                realtime(None, 0, process.pid)
            os.kill(process.pid, signal.SIGCONT)
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
