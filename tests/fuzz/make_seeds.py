"""Writes the seed inputs of the fuzz targets, made by code rather than kept as files:
request parameters and HTTP requests, definitions, EPG dumps and SmartEPG databases from the
test generators, WebSocket frames (framed by python3-websocket) and settings files, in the
input layout each target reads.

Usage: make_seeds.py FOLDER   (writes FOLDER/<target>/<n>)
"""
import datetime
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))

import skimlet_fixtures as fx  # noqa: E402
import websocket  # noqa: E402

D = datetime.datetime
CH1 = 0x00c000010001000a
CH2 = 0x00c0000200020014


def events():
    texts = [b"Evening News", b"Caf\xe9 &amp; \"Wetter\"", b"\x10\x00\x02Tagesschau", b"\x15UTF \xc3\xa9t\xc3\xa9",
             b"N" * 300, b""]
    out = []
    for i, name in enumerate(texts):
        out.append(fx.Event(CH1 if i % 2 else CH2, D(2024, 3, 5, 20, 15) + datetime.timedelta(minutes=50 * i),
                            30 + i, name, b"Headlines &#233; &eacute;", b"Long text " * (i * 40), eventid=i,
                            content=[0x20, 0x41, 0x14, 0, 0xF0, 0x91][i]))
    return out


def two_files(first, second):
    return struct.pack("<I", len(first)) + first + second


def event_source_seeds():
    ev = events()
    db, texts = fx.se_v13_files(ev)
    by_channel = {}
    for e in ev:
        by_channel.setdefault(e.channel, []).append(e)
    v15 = [fx.se_v15_file(by_channel[CH1]), fx.se_v15_file(by_channel[CH2])]
    seeds = []
    for port in (0, 4):
        seeds += [bytes([0 | port]) + fx.pvr_epg_bytes(ev), bytes([0 | port]) + fx.pvr_epg_bytes(ev, struct_size=68),
                  bytes([0x30 | port]) + fx.pvr_epg_bytes(ev, count=0),
                  bytes([1 | port]) + two_files(db, texts), bytes([2 | port]) + two_files(v15[0], v15[1])]
    seeds.append(b"\x01" + two_files(fx.se_v13_files(ev, count=1000)[0], texts))
    seeds.append(b"\x02" + two_files(fx.se_v15_file(by_channel[CH1], count=7), b""))
    return seeds


def definition_seeds():
    l = fx.definition_lines
    definitions = [
        l("News", [("T", "*news*", 50), ("D", "/^Head(lines)?\\b/", 25)], channels=(CH1, CH2),
          StartTime=5632, EndTime=512, WeekDays="135", Genre="20", MinLength=10, MaxLength=120,
          StartDate="e1d6", EndDate="e1e0"),
        l("Sport", [("B", "a.b?c\\*", 50), ("G", "x", 10), ("q", "//", 5), ("S", "[", 50)], recording_mode="1"),
        l("Any", [("A", "e", 50)], WeekDays=""),
    ]
    requests = [[l("A", [("B", "a", 50)], request=True)],
                [l("News", [("T", "news", 50)], request=True, Genre="41"),
                 l("Two", [("E", "*", 25), ("T", "?", 25)], channels=(CH1,), request=True)]]
    return ([b"\x00" + fx.definitions_file(definitions),
             b"\x00" + fx.definitions_file(definitions, bom=False, newline="\n")] +
            [b"\x01" + fx.request_text(r).encode() for r in requests])


def websocket_seeds():
    handshake = ("GET /skimlet HTTP/1.1\r\nHost: 127.0.0.1:8800\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: http://pvr\r\n"
                 "Sec-WebSocket-Protocol: chat, binary\r\nSec-WebSocket-Version: 13\r\n\r\n").encode()
    request = fx.request_text([fx.definition_lines("News", [("T", "news", 50)], request=True)]).encode()

    def frame(data, opcode=websocket.ABNF.OPCODE_TEXT, fin=1, mask=1):
        return websocket.ABNF(fin, 0, 0, 0, opcode, mask, data).format()

    return [frame(request), frame(request, mask=0), frame(b"x" * 300), frame(b"y" * 70000),
            frame(request[:40], fin=0) + frame(request[40:], websocket.ABNF.OPCODE_CONT),
            frame(b"", websocket.ABNF.OPCODE_CLOSE), frame(b"\x03\xe8bye", websocket.ABNF.OPCODE_CLOSE),
            frame(b"ping", websocket.ABNF.OPCODE_PING), frame(b"\x00\x01", websocket.ABNF.OPCODE_BINARY),
            handshake, handshake + frame(request), handshake.replace(b"/skimlet", b"/razuziziz")]


def ini_seeds():
    text = b"port=8000\r\nsearchport=8800\r\n#credentials=x\r\nPVRName=Living room\r\nlogginglevel=-3\r\n"
    return [bytes([place]) + b"port=9000\r\n" + text for place in range(4)] + [
        b"\x00pvrname=Kitchen\nport=99999999999\n;port=1\nPort=\n",
        b"\x01credentials=admin:s3cret\r\n" + b"k=" + b"v" * 2000,
        b"\x02a=\r\n\x00a=1"]


def params_seeds():
    return [b"filename=%2Fmnt%2Fhd%2FDataFiles%2Fa+b.rec&index=3&append=1",
            b"filename_hex=2f6d6e742f6864&tapid_hex=0x514b570f&sat=1&satindex=2",
            b"epgsource=1&source=pvr&genre_source=au&language=deu&lang=en&lan=fr&cache=0",
            b"start=2018/01/14 20:15:00&%4=&==&%00&tapid=1234567890123"]


def request_seeds():
    token = b"YWRtaW46czNjcmV0"
    return [b"\x01GET / HTTP/1.1\r\nHost: 127.0.0.1:8000\r\n\r\n",
            b"\x05GET /api?timers!list!x=1 HTTP/1.1\r\nHost: pvr\r\nAuthorization: Basic " + token +
            b"\r\nIf-None-Match: \"abc\"\r\n\r\n",
            b"\x02POST /api?files!upload!filename=a.txt HTTP/1.1\r\nHost: pvr\r\nContent-Length: 5\r\n\r\nhello",
            b"\x00POST /api?timers!update HTTP/1.1\r\nContent-Length: 99999\r\n\r\npartial"]


def settings_seeds():
    """The first byte sets the listing's room; the text is a settings file, parameters or a
    module name."""
    return [b"\x10# comment\r\nname=Box\r\nzoom=2\r\n/slash=1\r\n=x\r\nlast=no end",
            b"\x00key\nvalue",
            b"\x40key=a&value=b%20c&module=clock&key=k2&tap_params=BQABAgADBA%3D%3D",
            b"\x01tap_params=QUJDR&tap_params=" + b"A" * 2047,
            b"\x02clock", b"\x02../x", b"\x02a\\b"]


SEEDS = {
    "params_fuzz": params_seeds,
    "request_fuzz": request_seeds,
    "event_sources_fuzz": event_source_seeds,
    "search_definitions_fuzz": definition_seeds,
    "websocket_fuzz": websocket_seeds,
    "ini_file_fuzz": ini_seeds,
    "settings_fuzz": settings_seeds,
}


def main():
    folder = sys.argv[1]
    for target, make in SEEDS.items():
        out = os.path.join(folder, target)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        for i, seed in enumerate(make()):
            with open(os.path.join(out, str(i)), "wb") as f:
                f.write(seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
