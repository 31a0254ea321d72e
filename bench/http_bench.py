#!/usr/bin/python3
"""Requests per second of Orvane.tap in pvrsim (--idle-ms 0), side by side with busybox httpd
and lighttpd serving the same files on loopback: one client, a new connection per request.
Rows: a 1 KiB file, a 1 MiB file, and a small JSON answer (for Orvane the API forwarding
failure object; the other servers serve the same bytes from a file). Two clients: a Python
one, and ApacheBench (ab, one request at a time), whose C loop measures rates the Python
client cannot reach.

usage: bench/http_bench.py BUILD_DIR [--seconds N]"""
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


def rate(port, path, expect_min, seconds):
    """Complete answers per second, and the number of connections closed without one (at
    --idle-ms 0 the 101 empty polls of the read time-out pass in well under a millisecond)."""
    fetch(port, path)
    count, dropped, start = 0, 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        if fetch(port, path) < expect_min:
            dropped += 1
        else:
            count += 1
    return count / (time.perf_counter() - start), dropped


def ab_rate(port, path, expect_min, seconds):
    """Requests per second measured by ab, and the number of failed requests (including
    answers shorter than expect_min)."""
    result = subprocess.run(["ab", "-q", "-c", "1", "-t", str(max(1, round(seconds))), "-n", "10000000",
                             f"http://127.0.0.1:{port}{path}"],
                            capture_output=True, text=True, timeout=seconds + 60)
    figures = dict(re.findall(r"^([A-Za-z ]+):\s+([0-9.]+)", result.stdout, re.M))
    if "Requests per second" not in figures:
        raise RuntimeError(f"ab failed: {result.stderr.strip() or result.stdout.strip()}")
    failed = int(figures.get("Failed requests", 0))
    if int(figures.get("Document Length", 0)) < expect_min:
        failed = int(figures.get("Complete requests", 0))
    return float(figures["Requests per second"]), failed


CLIENTS = [("Python client", rate), ("ab -c 1", ab_rate)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--seconds", type=float, default=3)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="orvane-http-bench-")
    processes = []
    try:
        root = os.path.join(work, "pvr")
        make_demo_disk.generate(root)
        make_demo_disk.install(root, args.build)
        docroot = os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html")
        with open(os.path.join(docroot, "small.bin"), "wb") as f:
            f.write(os.urandom(1024))
        with open(os.path.join(docroot, "large.bin"), "wb") as f:
            f.write(os.urandom(1 << 20))
        with open(os.path.join(docroot, "answer.json"), "wb") as f:
            f.write(JSON_BODY)

        ports = {name: free_port() for name in ("Orvane", "busybox httpd", "lighttpd")}
        with open(os.path.join(root, "mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini"), "wb") as f:
            f.write(f"port={ports['Orvane']}\r\nlogginglevel=0\r\nauthentication=0\r\ncachecontrol=0\r\n".encode())
        processes.append(subprocess.Popen(
            [os.path.join(args.build, "emulator/pvrsim"), "--root", root, "--idle-ms", "0",
             os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        processes.append(subprocess.Popen(
            ["busybox", "httpd", "-f", "-p", f"127.0.0.1:{ports['busybox httpd']}", "-h", docroot],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        conf = os.path.join(work, "lighttpd.conf")
        with open(conf, "w") as f:
            f.write(f'server.document-root = "{docroot}"\nserver.port = {ports["lighttpd"]}\n'
                    f'server.bind = "127.0.0.1"\nserver.max-keep-alive-requests = 0\n'
                    f'mimetype.assign = (".json" => "application/json", "" => "application/octet-stream")\n')
        processes.append(subprocess.Popen(["lighttpd", "-D", "-f", conf],
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for port in ports.values():
            wait_listening(port)

        rows = [("1 KiB file", "/small.bin", 1024), ("1 MiB file", "/large.bin", 1 << 20),
                ("JSON answer", None, len(JSON_BODY))]
        for client, measure in CLIENTS:
            print(f"{client:14}" + "".join(f"{name:>16}" for name in ports)
                  + f"{'Orvane/busybox':>16}{'Orvane/lighttpd':>17}   (requests/s)")
            for label, path, size in rows:
                figures, dropped = {}, {}
                for name, port in ports.items():
                    target = path or ("/api?function=x&tap=1234!" if name == "Orvane" else "/answer.json")
                    figures[name], dropped[name] = measure(port, target, size, args.seconds)
                print(f"{label:14}" + "".join(f"{figures[n]:16.0f}" for n in ports) +
                      f"{figures['Orvane'] / figures['busybox httpd']:16.2f}"
                      f"{figures['Orvane'] / figures['lighttpd']:17.2f}"
                      + (f"   (dropped: {dropped})" if any(dropped.values()) else ""))
            print()
    finally:
        for p in processes:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
