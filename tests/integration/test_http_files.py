"""Orvane.tap as an HTTP server in pvrsim: answers, static files, entity tags, the /mnt rule."""
import http.client
import os
import socket
import subprocess
import time

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
