"""Orvane.tap as an HTTP server in pvrsim: answers, static files, entity tags, the /mnt rule."""
import hashlib
import http.client
import os
import socket
import subprocess
import time

import pytest

from conftest import get, public_html, raw_request, read_log, write_ini

NOT_FOUND = (b"HTTP/1.1 404 NOT FOUND\r\nConnection: close\r\nCache-Control: no-cache, no-store\r\n"
             b"Content-Type: text/html; charset=utf-8\r\nContent-Length: 116\r\n\r\n"
             b"<html><head>\r\n<title>404 Not Found</title>\r\n</head><body>\r\n"
             b"<p>The requested URL was not found.</p>\r\n</body></html>\r\n")


def test_exact_404_and_targets_that_are_not_files(pvr_root, web_server):
    sim = web_server()
    for target in ("/missing.html", "*", "http://example.org/", "/api", "/@@OSD.png", "@@screen.tiff",
                   "/My%20File.txt", "/Logo.PNG/"):
        assert raw_request(sim.port, f"GET {target} HTTP/1.1\r\nHost: x\r\n\r\n".encode()) == NOT_FOUND, target


def test_files_with_content_types(pvr_root, web_server):
    public_html(pvr_root, "index.html", b"<h1>root</h1>")
    public_html(pvr_root, "sub/index.html", b"<h1>sub</h1>")
    public_html(pvr_root, "app.js", b"let a = 1;")
    public_html(pvr_root, "Logo.PNG", b"png?")
    public_html(pvr_root, "movie.wmv", b"w")
    public_html(pvr_root, "data.json", b"{}")
    sim = web_server(ini="cachecontrol=0\n")
    status, fields, body = get(sim.port, "/")
    assert (status, body) == ("HTTP/1.1 200 OK", b"<h1>root</h1>")
    assert fields["content-type"] == "text/html; charset=utf-8"
    assert "etag" not in fields and "cache-control" not in fields   # caching off
    assert get(sim.port, "/sub/")[2] == b"<h1>sub</h1>"
    status, fields, body = get(sim.port, "/app.js?v=3")
    assert body == b"let a = 1;" and fields["content-type"] == "application/javascript; charset=utf-8"
    assert get(sim.port, "/Logo.PNG")[1]["content-type"] == "text/html; charset=utf-8"
    assert get(sim.port, "/movie.wmv")[1]["content-type"] == "video/x-ms-wm; charset=utf-8"
    assert get(sim.port, "/data.json")[1]["content-type"] == "application/json; charset=utf-8"

    # Python's http.client agrees with the framing.
    connection = http.client.HTTPConnection("127.0.0.1", sim.port, timeout=10)
    connection.request("GET", "/app.js")
    response = connection.getresponse()
    assert response.status == 200 and response.read() == b"let a = 1;"
    assert response.getheader("Connection") == "close"


def test_entity_tags_and_revalidation(pvr_root, web_server):
    path = public_html(pvr_root, "style.css", b"body{}")
    sim = web_server(ini="cachecontrol=1\n")
    status, fields, body = get(sim.port, "/style.css")
    assert status == "HTTP/1.1 200 OK" and fields["cache-control"] == "must-revalidate"
    st = os.stat(path)
    assert fields["etag"] == f"1-{int(st.st_mtime)}-{st.st_size}-{st.st_ino}"
    tag = fields["etag"]

    answer = raw_request(sim.port, f"GET /style.css HTTP/1.1\r\nIf-None-Match: {tag}\r\n\r\n".encode())
    assert answer == f"HTTP/1.1 304 Not Modified\r\nConnection: close\r\nEtag: {tag}\r\n\r\n".encode()

    os.utime(path, (st.st_atime, st.st_mtime + 10))   # touching the file gives a new tag
    status, fields, body = get(sim.port, "/style.css", [("If-None-Match", tag)])
    assert status == "HTTP/1.1 200 OK" and body == b"body{}" and fields["etag"] != tag
    tag = fields["etag"]
    assert get(sim.port, "/style.css", [("If-None-Match", tag)])[0] == "HTTP/1.1 304 Not Modified"

    # A new cache-control value invalidates every tag.
    write_ini(pvr_root, f"port={sim.port}\nlogginglevel=3\nauthentication=0\ncachecontrol=3\n")
    sim.send("reload")
    sim.expect(r"event 0xfe01")
    status, fields, _ = get(sim.port, "/style.css", [("If-None-Match", tag)])
    assert status == "HTTP/1.1 200 OK" and fields["etag"].startswith("3-")

    # curl revalidates with the tag it got.
    out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-H",
                          f"If-None-Match: {fields['etag']}", f"http://127.0.0.1:{sim.port}/style.css"],
                         capture_output=True, text=True, timeout=20).stdout
    assert out == "304"


def test_mnt_rule_and_parent_segments(pvr_root, web_server):
    recording = os.path.join(pvr_root, "mnt/hd/DataFiles/Show.rec")
    with open(recording, "wb") as f:
        f.write(b"\x47" * 188)
    public_html(pvr_root, "page.html", b"page")
    with open(os.path.join(pvr_root, "secret.txt"), "wb") as f:
        f.write(b"outside")
    sim = web_server()
    status, fields, body = get(sim.port, "/mnt/hd/DataFiles/Show.rec")
    assert status == "HTTP/1.1 200 OK" and body == b"\x47" * 188
    assert fields["content-type"] == "text/html; charset=utf-8"
    for target in ("/../../../../../secret.txt", "/mnt/hd/../../secret.txt", "/sub/../page.html",
                   "/x?/../../secret.txt", "/mnt/hd/DataFiles/..", "/.."):
        assert raw_request(sim.port, f"GET {target} HTTP/1.1\r\n\r\n".encode()) == NOT_FOUND, target
    assert get(sim.port, "/x/..page.html")[0] == "HTTP/1.1 404 NOT FOUND"   # no such file, but allowed
    assert "NetServeFile: Refused path with a '..' segment." in read_log(pvr_root)


def test_empty_files_and_folders(pvr_root, web_server):
    public_html(pvr_root, "empty.txt", b"")
    os.makedirs(os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane/public_html/folder"), exist_ok=True)
    sim = web_server(ini="cachecontrol=0\n")
    answer = raw_request(sim.port, b"GET /empty.txt HTTP/1.1\r\n\r\n")
    assert answer == (b"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain; charset=utf-8\r\n"
                      b"Content-Length: 0\r\n\r\n")
    assert raw_request(sim.port, b"GET /folder HTTP/1.1\r\n\r\n") == NOT_FOUND


def test_oversized_requests_are_cut_not_overrun(pvr_root, web_server):
    public_html(pvr_root, "index.html", b"ok")
    sim = web_server(ini="authentication=2\ncredentials=dXNlcjpwYXNz\n")
    huge = "A" * 70000
    requests = [
        f"{'M' * 40} /{'p' * 4000} HTTP/1.1\r\n\r\n",
        f"GET / HTTP/1.1\r\nHost: {huge}\r\nAuthorization: Basic {huge}\r\nIf-None-Match: {huge}\r\n\r\n",
        f"POST /api?function=x&tap={'9' * 500}&session={huge}!{huge} HTTP/1.1\r\nContent-Length: {'1' * 300}\r\n\r\n{huge}",
        "GET / HTTP/1.1\r\nAuthorization:" + " " * 600 + "Basic x\r\n\r\n",
        "\r\n\r\n",
    ]
    for request in requests:
        try:
            answer = raw_request(sim.port, request.encode())
        except ConnectionResetError:
            continue   # answered before the rest of a request larger than one read arrived
        assert answer.startswith(b"HTTP/1.1 ") or answer == b"", answer[:80]
    # Still serving, with the right credentials.
    assert get(sim.port, "/", [("Authorization", "Basic dXNlcjpwYXNz")])[2] == b"ok"


def test_silent_client_is_dropped_after_101_polls(pvr_root, web_server):
    public_html(pvr_root, "index.html", b"ok")
    sim = web_server(idle_ms=5)
    silent = socket.create_connection(("127.0.0.1", sim.port), timeout=10)
    start = time.time()
    assert silent.recv(10) == b""          # closed without any answer
    elapsed = time.time() - start
    assert 0.3 < elapsed < 5, elapsed      # 101 polls of 5 ms, plus scheduling
    silent.close()
    assert get(sim.port, "/")[2] == b"ok"
    assert "NetServerRead: timeout [0], resetting connection." in read_log(pvr_root)


def test_client_leaving_mid_answer_does_not_stop_the_server(pvr_root, web_server):
    public_html(pvr_root, "big.bin", os.urandom(8 << 20))
    public_html(pvr_root, "index.html", b"ok")
    sim = web_server()
    for _ in range(3):
        s = socket.create_connection(("127.0.0.1", sim.port), timeout=10)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.sendall(b"GET /big.bin HTTP/1.1\r\n\r\n")
        s.recv(1000)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        s.close()                            # reset while the server is sending
    assert get(sim.port, "/")[2] == b"ok"
    assert sim.process.poll() is None
    status, fields, body = get(sim.port, "/big.bin")
    assert len(body) == int(fields["content-length"]) == 8 << 20


def test_slow_client_with_a_tiny_window_gets_every_byte(pvr_root, web_server):
    content = os.urandom(3 << 20)
    public_html(pvr_root, "movie.mpg", content)
    sim = web_server()
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 2048)   # before connecting: a small window
        s.settimeout(20)
        s.connect(("127.0.0.1", sim.port))
        s.sendall(b"GET /movie.mpg HTTP/1.1\r\n\r\n")
        received, reads = bytearray(), 0
        while True:
            chunk = s.recv(4096)
            if not chunk:
                break
            received += chunk
            reads += 1
            if reads % 64 == 0:
                time.sleep(0.01)   # the server's sends block again and again
    head, _, body = bytes(received).partition(b"\r\n\r\n")
    assert f"\r\nContent-Length: {len(content)}\r\n".encode() in head + b"\r\n"
    assert hashlib.sha256(body).hexdigest() == hashlib.sha256(content).hexdigest()
    # The log reports what was sent of the header and of the payload.
    log = read_log(pvr_root)
    assert f"NetHTTPRespond: Sending payload: {len(content)}." in log
    assert f"NetHTTPRespond Sent: {len(head) + 4}, errno: 0." in log
    assert f"NetHTTPRespond Sent: {len(content)}, errno: 0." in log


def answer_and_segments(port, request):
    """Sends request and returns the answer and the payloads of the TCP segments that carried
    it, captured on the loopback interface."""
    capture = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0003))
    try:
        capture.bind(("lo", 0))
        capture.settimeout(2)
        answer = raw_request(port, request)
        segments = []
        deadline = time.time() + 5
        while time.time() < deadline:
            frame, address = capture.recvfrom(70000)
            if address[2] == socket.PACKET_OUTGOING or len(frame) < 34 or frame[12:14] != b"\x08\x00":
                continue   # each frame on lo is seen twice; only IPv4 counts
            ip = frame[14:]
            tcp = ip[(ip[0] & 15) * 4:int.from_bytes(ip[2:4], "big")]
            if ip[9] != 6 or int.from_bytes(tcp[0:2], "big") != port:
                continue
            payload = tcp[(tcp[12] >> 4) * 4:]
            if payload:
                segments.append(payload)
            if tcp[13] & 1:   # FIN: the answer is complete
                break
        return answer, segments
    finally:
        capture.close()


def test_header_and_body_leave_in_one_segment(pvr_root, web_server):
    if os.geteuid() != 0:
        pytest.skip("capturing on the loopback interface needs root")
    public_html(pvr_root, "page.html", b"<p>" + b"x" * 2000 + b"</p>")
    sim = web_server(ini="cachecontrol=1\n")
    tag = get(sim.port, "/page.html")[1]["etag"]
    for request in (b"GET /page.html HTTP/1.1\r\n\r\n",
                    f"GET /page.html HTTP/1.1\r\nIf-None-Match: {tag}\r\n\r\n".encode(),
                    b"GET /missing.html HTTP/1.1\r\n\r\n",
                    b"GET /api?function=x&tap=1234! HTTP/1.1\r\n\r\n"):
        answer, segments = answer_and_segments(sim.port, request)
        assert answer.startswith(b"HTTP/1.1 ") and segments == [answer], (request, [len(s) for s in segments])
    # A 401, whose payload is the whole head, too.
    write_ini(pvr_root, f"port={sim.port}\nlogginglevel=3\nauthentication=2\ncredentials=dXNlcjpwYXNz\n")
    sim.send("reload")
    sim.expect(r"event 0xfe01")
    answer, segments = answer_and_segments(sim.port, b"GET /page.html HTTP/1.1\r\n\r\n")
    assert answer == (b"HTTP/1.1 401 Access Denied\r\nWWW-Authenticate: Basic realm=\"Orvane\"\r\n"
                      b"Content-Length: 0\r\n\r\n")
    assert segments == [answer]


def test_files_around_the_read_limit_arrive_whole(pvr_root, web_server):
    # Files up to 64 KiB are read into a buffer, larger ones mapped.
    contents = {size: os.urandom(size) for size in (1, 65535, 65536, 65537, 300000)}
    for size, content in contents.items():
        public_html(pvr_root, f"f{size}.bin", content)
    sim = web_server(ini="cachecontrol=0\n")
    for size, content in contents.items():
        status, fields, body = get(sim.port, f"/f{size}.bin")
        assert status == "HTTP/1.1 200 OK" and fields["content-length"] == str(size) and body == content, size
