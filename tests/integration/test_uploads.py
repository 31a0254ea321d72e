"""Uploads with real clients: curl's --data-binary compared with cmp, bodies that come slowly
or stop half-way from a raw socket, and requests that must not change any file."""
import errno
import hashlib
import json
import os
import socket
import subprocess
import time

from conftest import raw_request

STORE = "/api?function=files&action=store!filename="


def curl_upload(port, path, source, extra=()):
    out = subprocess.run(["curl", "-s", "--max-time", "60", *extra, "--data-binary", f"@{source}",
                          f"http://127.0.0.1:{port}{STORE}{path}"], capture_output=True, check=True)
    return json.loads(out.stdout)


def answer_json(raw):
    return json.loads(raw.partition(b"\r\n\r\n")[2])


def tree(root):
    """Every file below the disk with its digest, the server's logs left out."""
    out = {}
    for folder, _, files in os.walk(os.path.join(root, "mnt")):
        for name in files:
            if name.endswith(".log"):
                continue
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                out[path] = hashlib.sha1(open(path, "rb").read()).hexdigest()
    return out


def test_curl_uploads_arrive_byte_for_byte(pvr_root, web_server, tmp_path):
    sim = web_server()
    for size in (0, 1, 1400, 65536, 300001):
        source = tmp_path / f"src{size}"
        source.write_bytes(os.urandom(size))
        target = f"/mnt/hd/DataFiles/up/{size}.bin"
        answer = curl_upload(sim.port, target, source)
        assert answer == {"content": "file_Store", "bytes_stored": size, "error_code": 0, "errno": 0,
                          "error_text": "No error", "timestamp": answer["timestamp"]}, size
        subprocess.run(["cmp", str(source), os.path.join(pvr_root, target[1:])], check=True)
    # Appending, and the settings function's name for the same handler.
    source = tmp_path / "tail"
    source.write_bytes(b"\0tail\r\n")
    assert curl_upload(sim.port, "/mnt/hd/DataFiles/up/1.bin&append=1", source)["bytes_stored"] == 7
    with open(os.path.join(pvr_root, "mnt/hd/DataFiles/up/1.bin"), "rb") as f:
        assert f.read()[1:] == b"\0tail\r\n"
    answer = json.loads(subprocess.run(
        ["curl", "-s", "--data-binary", f"@{source}",
         f"http://127.0.0.1:{sim.port}/api?function=settings&action=store!filename_hex="
         + b"/mnt/hd/DataFiles/x y.txt".hex()], capture_output=True, check=True).stdout)
    assert answer["error_code"] == 0
    subprocess.run(["cmp", str(source), os.path.join(pvr_root, "mnt/hd/DataFiles/x y.txt")], check=True)


def test_slow_and_broken_bodies_from_a_raw_socket(pvr_root, web_server):
    sim = web_server()
    body = os.urandom(200000)
    head = (f"POST {STORE}/mnt/hd/DataFiles/slow.bin HTTP/1.1\r\nHost: pvr\r\n"
            f"Content-Length: {len(body)}\r\n\r\n").encode()
    with socket.create_connection(("127.0.0.1", sim.port), timeout=30) as s:
        s.sendall(head + body[:500])
        for at in range(500, len(body), 40000):
            time.sleep(0.3)   # well within the server's 2 seconds
            s.sendall(body[at:at + 40000])
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    assert answer_json(answer)["bytes_stored"] == len(body)
    with open(os.path.join(pvr_root, "mnt/hd/DataFiles/slow.bin"), "rb") as f:
        assert f.read() == body

    # The client gives up half-way: the old file stays, nothing is left beside it.
    old = os.path.join(pvr_root, "mnt/hd/DataFiles/slow.bin")
    with socket.create_connection(("127.0.0.1", sim.port), timeout=30) as s:
        s.sendall(head + os.urandom(70000))
        s.shutdown(socket.SHUT_WR)
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    result = answer_json(answer)
    assert (result["error_code"], result["errno"], result["bytes_stored"]) == (3, errno.ECONNRESET, 0)
    with open(old, "rb") as f:
        assert f.read() == body
    assert not os.path.exists(old + ".tmp")

    # The client stops sending: after 200 ticks without data the server gives up.
    started = time.time()
    with socket.create_connection(("127.0.0.1", sim.port), timeout=30) as s:
        s.sendall(head + b"x" * 1000)
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    assert time.time() - started >= 1.9
    result = answer_json(answer)
    assert (result["error_code"], result["errno"]) == (3, errno.ETIMEDOUT)
    with open(old, "rb") as f:
        assert f.read() == body


def test_requests_that_must_not_write(pvr_root, web_server):
    sim = web_server()
    keep = os.path.join(pvr_root, "mnt/hd/DataFiles/keep.txt")
    with open(keep, "wb") as f:
        f.write(b"keep")
    before = tree(pvr_root)
    # A GET does not truncate; a POST without or with a broken Content-Length is refused.
    raw = raw_request(sim.port, f"GET {STORE}/mnt/hd/DataFiles/keep.txt HTTP/1.1\r\n\r\n".encode())
    assert answer_json(raw)["error_code"] == 4
    raw = raw_request(sim.port, f"POST {STORE}/mnt/hd/DataFiles/keep.txt HTTP/1.1\r\n\r\nnew".encode())
    assert answer_json(raw)["error_code"] == 4
    raw = raw_request(sim.port, f"POST {STORE}/mnt/hd/DataFiles/keep.txt HTTP/1.1\r\nContent-Length: -3\r\n\r\n"
                      "new".encode())
    assert answer_json(raw)["error_code"] == 4
    # Paths outside "/mnt/" or with ".." segments.
    for path in ("/etc/passwd", "/mnt/hd/../../etc/x", "/mnt/hd/DataFiles/../../x", "DataFiles/x", "/tmp/x"):
        raw = raw_request(sim.port, f"POST {STORE}{path} HTTP/1.1\r\nContent-Length: 3\r\n\r\nbad".encode())
        result = answer_json(raw)
        assert (result["error_code"], result["error_text"]) == (5, "Error: Path is not valid"), path
    assert tree(pvr_root) == before
    assert not os.path.exists(os.path.join(pvr_root, "tmp/x"))
