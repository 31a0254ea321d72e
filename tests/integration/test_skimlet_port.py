"""skimlet as a process in port mode: a raw TCP client and a real WebSocket client
(python3-websocket) send the request and read the results document with its progress
messages."""
import datetime
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time

import pytest
import websocket

import skimlet_fixtures as fx
from skimlet_fixtures import Event, definition_lines

D = datetime.datetime
CH1 = 0x00c000010001000a
CH2 = 0x00c0000200020014
SAMPLE_KEY = "dGhlIHNhbXBsZSBub25jZQ=="
SAMPLE_ACCEPT = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Skimlet:
    """A skimlet process serving its results on a loopback port."""

    def __init__(self, root, source="pvr", port=None, extra=(), results=None):
        self.port = port or free_port()
        self.crash_expected = False
        self.console_path = os.path.join(root, "console.txt")
        self.console_file = open(self.console_path, "wb")
        self.process = subprocess.Popen([fx.skimlet_path(), "-r", results or f"tcp:{self.port}", "-s", source, *extra],
                                        env=fx.skimlet_env(root), stdout=self.console_file,
                                        stderr=subprocess.STDOUT)

    def connect(self, timeout=20):
        deadline = time.time() + timeout
        while True:
            s = socket.socket()
            try:
                s.connect(("127.0.0.1", self.port))
                s.settimeout(60)
                return s
            except ConnectionRefusedError:
                s.close()
                if time.time() > deadline:
                    raise
                time.sleep(0.05)

    def websocket(self, path="/skimlet", timeout=20, **options):
        deadline = time.time() + timeout
        while True:
            try:
                return websocket.create_connection(f"ws://127.0.0.1:{self.port}{path}", timeout=60, **options)
            except ConnectionRefusedError:
                if time.time() > deadline:
                    raise
                time.sleep(0.05)

    def wait(self, timeout=60):
        try:
            return self.process.wait(timeout)
        finally:
            self.console_file.close()

    def console(self):
        with open(self.console_path, "rb") as f:
            return f.read().decode("latin-1")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def servers():
    """skimlet processes that end with the test, without sanitizer reports or crashes."""
    started = []
    yield started
    for s in started:
        s.kill()
        s.wait()
        fx.check_console(s.console(), s.crash_expected)


def news_events(n=45):
    events = [Event(CH1, D(2024, 3, 5, 20, 15), 45, b"Evening News", b"Headlines &amp; \"weather\"",
                    b"Line one\r\nTab\there / back\\slash", eventid=0x1234, content=0x20, sourceflag=1,
                    parental=11, networkid=1, tsid=2, serviceid=3, satindex=4, lang=b"deu", citid=-5,
                    unknown14=0xBEEF, icechannel=77, unknown15=bytes([1, 2, 3, 4, 5, 6]), timezone=60,
                    datastatus=2, runningstatus=4)]
    for i in range(1, n):
        events.append(Event(CH2 if i % 2 else CH1, D(2024, 3, 6, 0, 0) + datetime.timedelta(minutes=30 * i), 30,
                            b"News %d" % i if i % 3 else b"Sport %d" % i, eventid=i, content=0x41))
    return events


def read_all(sock):
    chunks = []
    while True:
        data = sock.recv(65536)
        if not data:
            return b"".join(chunks)
        chunks.append(data)


def check_first_event(event, e):
    assert event["eventid"] == 0x1234
    assert event["datastatus"] == 2 and event["runningstatus"] == 4
    assert event["starttime_local"] == fx.json_date(e.start)
    assert event["endtime_local"] == fx.json_date(e.end)
    assert event["timezone"] == 60 and event["duration"] == 45
    assert (event["satindex"], event["networkid"], event["tsid"], event["serviceid"]) == (4, 1, 2, 3)
    assert event["logoid"] == f"{CH1:016x}"
    assert event["svctype"] == -1 and event["svcnum"] == -1
    assert event["lang"] == "deu"
    assert event["parental"] == 11 and event["parental_text"] == "PG"
    assert event["name"] == "Evening News" and event["namelength"] == 12
    assert event["description"] == 'Headlines &amp; "weather"'
    assert event["text"] == "Line one\r\nTab\there / back\\slash"
    assert event["citid"] == -5
    assert event["contentidentifier"] == 0x20 and event["contentidentifier_hex"] == "20"
    # general table: low nibble 0 keeps the byte as the index
    assert event["genre_text"] == "News/Current Affairs" and event["genre_code"] == "20"
    assert event["genre_value"] == 0x20 and event["au_genre"] == 0
    assert event["sourceflag"] == 1 and event["unknown14"] == 0xBEEF and event["icechannel"] == 77
    assert event["unknown15"] == "0x010203040506"


def expected_names(events):
    return [e.name.decode() for e in events if b"News" in e.name]


class TestRawClient:
    def test_request_and_results(self, root, servers):
        events = news_events()
        fx.write_pvr_epg(root, events)
        server = Skimlet(root)
        servers.append(server)
        sock = server.connect()
        request = fx.request_text([definition_lines("News", [("T", "news", 50)], request=True)])
        sock.sendall(request.encode())
        data = read_all(sock).decode("utf-8")
        assert server.wait() == 0, server.console()

        progress = [int(p) for p in re.findall(r"@@PROGRESS@@=(\d+)", data)]
        assert len(progress) >= 10 and progress == sorted(progress) and progress[-1] == 100
        document = json.loads(re.sub(r"@@PROGRESS@@=\d+", "", data))
        assert document["content"] == "epg_search_results" and document["source"] == "pvr"
        assert [ev["name"] for ev in document["event"]] == expected_names(events)
        assert document["count"] == len(document["event"])
        check_first_event(document["event"][0], events[0])
        # the first record opens with a tab and "{", later ones with a tab and ",{"
        assert '\t{"eventid":4660,\r\n' in data and data.count('\t,{"eventid":') == document["count"] - 1
        console = server.console()
        assert " Writing results to TCP port %d.\r\n" % server.port in console
        assert "Got : -------START-------" in console and " WebSocket mode = 0." in console

    def test_australian_genres(self, root, servers):
        fx.write_pvr_epg(root, [Event(CH1, D(2024, 3, 5, 20, 0), 30, b"Film", content=0x41, sourceflag=0),
                                Event(CH1, D(2024, 3, 5, 21, 0), 30, b"Film 2", content=0x41, sourceflag=1)])
        server = Skimlet(root, extra=("-a", "1"))
        servers.append(server)
        sock = server.connect()
        sock.sendall(fx.request_text([definition_lines("F", [("T", "film", 50)], request=True)], False).encode())
        document = json.loads(read_all(sock))
        assert server.wait() == 0
        au, general = document["event"]
        assert (au["genre_text"], au["genre_code"], au["au_genre"]) == ("Movie", "10", 1)
        assert (general["genre_text"], general["genre_code"], general["au_genre"]) == ("Comedy", "14", 0)

    def test_smartepg_source_name(self, root, servers):
        fx.write_se_v13(root, [Event(CH1, D(2024, 3, 5, 20, 0), 30, b"Film", content=0x41)])
        server = Skimlet(root, source="smartepg13")
        servers.append(server)
        sock = server.connect()
        sock.sendall(fx.request_text([definition_lines("F", [("T", "film", 50)], request=True)], False).encode())
        document = json.loads(read_all(sock))
        assert server.wait() == 0
        assert document["source"] == "smartepg" and document["count"] == 1
        assert document["event"][0]["contentidentifier"] == 0x14
        assert document["event"][0]["genre_text"] == "Special Events"

    def test_request_larger_than_the_buffer_is_refused(self, root, servers):
        fx.write_pvr_epg(root, news_events(3))
        server = Skimlet(root)
        servers.append(server)
        sock = server.connect()
        try:
            sock.sendall(b"X" * 40000)
        except (BrokenPipeError, ConnectionResetError):
            pass
        assert server.wait() == 1
        console = server.console()
        assert " ERROR - Input buffer too small for WebSocket data." in console
        assert "Errors encountered, exiting." in console

    def test_port_of_letters_means_9000(self, root, servers):
        with socket.socket() as probe:
            probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                probe.bind(("127.0.0.1", 9000))
            except OSError:
                pytest.skip("port 9000 is taken on this machine")
        fx.write_pvr_epg(root, news_events(3))
        server = Skimlet(root, port=9000, results="tcp:abc")
        servers.append(server)
        sock = server.connect()
        sock.sendall(fx.request_text([definition_lines("N", [("T", "news", 50)], request=True)], False).encode())
        document = json.loads(read_all(sock))
        assert server.wait() == 0 and document["count"] == 3
        assert " Writing results to TCP port 9000." in server.console()

    def test_time_limits(self, root, servers):
        """Nobody connects: exit 0 after 30 s. A request without "EndQuery:": exit 1 after 30 s."""
        fx.write_pvr_epg(root, news_events(3))
        lonely_root = os.path.join(root, "lonely")
        os.makedirs(lonely_root)
        lonely = Skimlet(lonely_root)
        servers.append(lonely)
        waiting = Skimlet(root)
        servers.append(waiting)
        sock = waiting.connect()
        sock.sendall(fx.line("SearchCount:", 1).encode() + b"\r\n")
        started = time.time()
        assert lonely.wait(60) == 0
        assert waiting.wait(60) == 1
        assert 25 < time.time() - started < 45
        assert " ERROR - Timeout waiting for connection to port" in lonely.console()
        assert " ERROR - Error -1 creating socket." in lonely.console()
        assert " ERROR - Timed-out reading socket data." in waiting.console()

    def test_fatal_message_after_a_segmentation_fault(self, root, servers):
        many = [Event(CH1 + (i % 50), D(2024, 3, 5, 0, 0) + datetime.timedelta(minutes=i), 30, b"Match %d" % i,
                      b"d" * 20, b"t" * 40, eventid=i) for i in range(80000)]
        fx.write_se_v13(root, many)
        server = Skimlet(root, source="smartepg13")
        server.crash_expected = True
        servers.append(server)
        sock = server.connect()
        sock.sendall(fx.request_text([definition_lines("All", [("B", "match", 50)], request=True)]).encode())
        first = sock.recv(65536)
        assert first.startswith(b"{\r\n\"content\":\"epg_search_results\"")
        time.sleep(0.2)
        server.process.send_signal(signal.SIGSEGV)
        rest = read_all(sock)
        assert server.wait() == 0
        assert (first + rest).endswith(b"@@@@FATAL@@@")
        assert "Caught a segmentation fault at address" in server.console()


class TestWebSocketClient:
    def run_search(self, root, servers, path="/skimlet", source="pvr", **options):
        server = Skimlet(root, source=source)
        servers.append(server)
        ws = server.websocket(path, **options)
        ws.send(fx.request_text([definition_lines("News", [("T", "news", 50)], request=True)]))
        frames = []
        while True:
            try:
                opcode, data = ws.recv_data()
            except websocket.WebSocketConnectionClosedException:
                break
            if opcode == websocket.ABNF.OPCODE_CLOSE or not data:
                break
            assert opcode == websocket.ABNF.OPCODE_TEXT
            frames.append(data.decode("utf-8"))
        ws.close()
        assert server.wait() == 0, server.console()
        return server, frames

    @pytest.mark.parametrize("path", ["/skimlet", "/razuziziz"])
    def test_results_document(self, root, servers, path):
        events = news_events()
        fx.write_pvr_epg(root, events)
        server, frames = self.run_search(root, servers, path)
        progress = [int(f.split("=")[1]) for f in frames if f.startswith("@@PROGRESS@@=")]
        assert len(progress) >= 10 and progress == sorted(progress) and progress[-1] == 100
        pieces = [f for f in frames if not f.startswith("@@")]
        # header, one frame per record, footer
        assert len(pieces) == 2 + len(expected_names(events))
        document = json.loads("".join(pieces))
        assert [ev["name"] for ev in document["event"]] == expected_names(events)
        check_first_event(document["event"][0], events[0])
        assert " WebSocket mode = 1." in server.console()

    def test_handshake_and_frames_of_125_and_126_bytes(self, root, servers):
        fx.write_pvr_epg(root, news_events(5))
        server = Skimlet(root)
        servers.append(server)
        sock = server.connect()
        handshake = ("GET /skimlet HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: %s\r\nOrigin: http://example.org\r\nSec-WebSocket-Version: 13\r\n"
                     "Sec-WebSocket-Protocol: chat, binary\r\n\r\n" % (server.port, SAMPLE_KEY))
        sock.sendall(handshake.encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            reply += sock.recv(4096)
        head = reply.decode()
        assert head.startswith("HTTP/1.1 101 Switching Protocols\r\n")
        assert "Sec-WebSocket-Accept: %s\r\n" % SAMPLE_ACCEPT in head
        assert "Sec-WebSocket-Protocol: binary\r\n" in head
        assert "WebSocket-Location: ws://127.0.0.1:%d/skimlet\r\n" % server.port in head
        # the request in three masked frames: 125 and 126 bytes, then the rest
        request = fx.request_text([definition_lines("News", [("T", "news", 50)], request=True)], False).encode()
        request = request.replace(b"News\r\n", b"News" + b" " * 100 + b"\r\n", 1)
        parts = [request[:125], request[125:251], request[251:]]
        assert [len(p) for p in parts[:2]] == [125, 126]
        for part in parts:
            frame = websocket.ABNF.create_frame(part, websocket.ABNF.OPCODE_TEXT).format()
            assert len(frame) == len(part) + (6 if len(part) < 126 else 8)
            sock.sendall(frame)
        sock.settimeout(30)
        data = reply[reply.index(b"\r\n\r\n") + 4:] + read_all(sock)
        assert server.wait() == 0, server.console()
        # decode skimlet's frames with the client library's own frame reader
        buffer = [data]

        def recv(n):
            chunk, buffer[0] = buffer[0][:n], buffer[0][n:]
            return chunk
        reader = websocket._abnf.frame_buffer(recv, False)
        texts = []
        while buffer[0]:
            frame = reader.recv_frame()
            assert frame.fin == 1 and frame.opcode == websocket.ABNF.OPCODE_TEXT and frame.mask == 0
            texts.append(frame.data.decode())
        document = json.loads("".join(texts))
        assert [ev["name"] for ev in document["event"]] == expected_names(news_events(5))

    @pytest.mark.parametrize("header,why", [
        ("Sec-WebSocket-Version: 13\r\n", "no origin"),
        ("Origin: http://example.org\r\nSec-WebSocket-Version: 5\r\n", "version 5"),
    ])
    def test_refused_handshake_is_a_raw_request(self, root, servers, header, why):
        fx.write_pvr_epg(root, news_events(3))
        server = Skimlet(root)
        servers.append(server)
        sock = server.connect()
        sock.sendall(("GET /skimlet HTTP/1.1\r\nHost: x\r\nSec-WebSocket-Key: %s\r\n%s\r\n" % (SAMPLE_KEY, header)).encode())
        time.sleep(0.3)
        sock.sendall(fx.line("EndQuery:").encode() + b"\r\n")
        data = read_all(sock)
        assert server.wait() == 0
        assert b"101" not in data
        console = server.console()
        assert " WebSocket mode = 1." not in console and " ERROR - No search criteria found in 'tcp:" in console

    def test_oversized_frame_is_refused(self, root, servers):
        fx.write_pvr_epg(root, news_events(3))
        server = Skimlet(root)
        servers.append(server)
        ws = server.websocket()
        try:
            ws.send("X" * 65536)
        except (BrokenPipeError, ConnectionResetError, websocket.WebSocketConnectionClosedException):
            pass
        assert server.wait() == 1
        assert " ERROR - Input buffer too small for WebSocket data." in server.console()
