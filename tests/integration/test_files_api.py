"""Recordings and media files through the API of Orvane.tap on pvrsim with the demo disk:
listings and trees against Python's os.walk/os.stat of the emulated disk and mutagen's
reading of the tags, rename and delete with their companions, requests naming places
outside "/mnt/" that must leave the emulated root byte-identical, and the playback and
recording commands seen in pvrsim's effect lines."""
import fnmatch
import hashlib
import json
import os
import stat
import sys
import urllib.parse

import pytest

import api_client
from conftest import BUILD, ORVANE_TAP, SOURCE, free_port, write_ini

sys.path.insert(0, os.path.join(SOURCE, "tools"))
import make_demo_disk  # noqa: E402


def api(port, action, params=""):
    return api_client.api(port, "files", action, params)


def q(value):
    return urllib.parse.quote(value, safe="/")


@pytest.fixture
def pvr(tmp_path, start_pvrsim):
    root = str(tmp_path / "pvr")
    make_demo_disk.generate(root)
    make_demo_disk.install(root, BUILD)
    tap = os.path.join(root, "mnt/hd/ProgramFiles/Orvane.tap")
    os.remove(tap)
    os.symlink(os.path.abspath(ORVANE_TAP), tap)
    # Two recording slots busy, so that a recording can be stopped and lengthened.
    profile_path = os.path.join(root, "pvrsim.json")
    profile = json.load(open(profile_path))
    profile["recordings"] = [{"type": 1, "duration": 30}, {"type": 0}, {"type": 1, "duration": 90}, {"type": 0}]
    json.dump(profile, open(profile_path, "w"))
    port = free_port()
    write_ini(root, "port=%d\nlogginglevel=1\nauthentication=0\n" % port)
    sim = start_pvrsim(root)
    sim.expect(r"loaded slot 0 id 0x514b570f")
    sim.port = port
    sim.root = root
    return sim


def host(sim, pvr_path):
    return sim.root + pvr_path


def snapshot(root):
    """Every folder, file and link below the root (links not followed) with its content's
    hash or its target; the server's own log files left out."""
    out = []
    for top, dirs, files in os.walk(root):
        dirs.sort()
        out.append(("d", os.path.relpath(top, root)))
        for name in sorted(files) + [d for d in dirs if os.path.islink(os.path.join(top, d))]:
            path = os.path.join(top, name)
            if name.endswith(".log"):
                continue
            mode = os.lstat(path).st_mode
            if stat.S_ISLNK(mode):
                out.append(("l", os.path.relpath(path, root), os.readlink(path)))
            elif stat.S_ISREG(mode):
                out.append(("f", os.path.relpath(path, root), hashlib.sha256(open(path, "rb").read()).hexdigest()))
            else:   # the emulator's pipes and sockets: there, not read
                out.append(("o", os.path.relpath(path, root), stat.S_IFMT(mode)))
    return out


def test_listings_match_the_disk(pvr):
    folders = ["/mnt/hd/DataFiles", "/mnt/hd/DataFiles/Films", "/mnt/hd/MP3Files/Señal Raíz",
               "/mnt/hd/MP3Files", "/mnt/hd/MediaFiles", "/mnt/hd/PhotoFiles", "/mnt/hd/ProgramFiles"]
    for folder in folders:
        answer = api(pvr.port, "get", "dir=" + q(folder))
        assert answer["content"] == "files" and answer["error_code"] == 0
        assert answer["directory"] == folder
        where = host(pvr, folder).encode()
        pattern = b"*.rec" if folder.startswith("/mnt/hd/DataFiles") else b"*"
        expected = {}
        for name in os.listdir(where):
            s = os.stat(os.path.join(where, name))
            if stat.S_ISDIR(s.st_mode) or fnmatch.fnmatchcase(name, pattern):
                expected[name] = s
        listed = {bytes.fromhex(entry["name_hex"]): entry for entry in answer["files"]}
        assert sorted(listed) == sorted(expected), folder
        assert answer["count"] == len(expected)
        for name, entry in listed.items():
            s = expected[name]
            path = os.path.join(where, name)
            assert entry["size"] == s.st_size and entry["inode"] == s.st_ino and entry["info"] == s.st_mode, name
            assert entry["attr"] == (224 if stat.S_ISDIR(s.st_mode) else 208)
            assert entry["infpresent"] == int(stat.S_ISREG(s.st_mode) and os.path.exists(path + b".inf")), name
            assert entry["navpresent"] == int(stat.S_ISREG(s.st_mode) and os.path.exists(path + b".nav")), name
            assert ("infdata" in entry) == bool(entry["infpresent"])


def test_music_tags_as_mutagen_reads_them(pvr):
    import mutagen.id3 as m
    keys = {"TPE1": "artist", "TIT2": "title", "TALB": "album", "TRCK": "track", "TYER": "year", "TCON": "genre",
            "TLEN": "length"}
    seen = 0
    for top, dirs, files in os.walk(host(pvr, "/mnt/hd/MP3Files")):
        pvr_folder = top[len(pvr.root):]
        answer = api(pvr.port, "get", "dir=" + q(pvr_folder))
        for entry in answer["files"]:
            if not entry["name"].lower().endswith(".mp3"):
                continue
            assert entry["mp3present"] == 1
            try:
                tags = m.ID3(os.path.join(top, entry["name"]), translate=False)   # the frames as stored
            except m.ID3NoHeaderError:
                assert entry["mp3data"] == {}
                continue
            for frame, key in keys.items():
                if frame == "TYER" and frame not in tags:
                    frame = "TDRC"   # a 2.4 tag's year
                expected = str(tags[frame].text[0]) if frame in tags else ""
                assert entry["mp3data"][key] == expected, (entry["name"], key)
            seen += 1
    assert seen >= 5


def test_recording_headers_and_links(pvr):
    answer = api(pvr.port, "get", "dir=/DataFiles")
    assert answer["directory"] == "/mnt/hd/DataFiles"
    usb = next(e for e in answer["files"] if e["name"] == "USB")
    assert usb["link"] == "../../sdb1/Recordings" and usb["dev"] == "/dev/sdb1/" and usb["location"] == 2
    film = next(e for e in answer["files"] if e["name"].startswith("Harbour News 24"))
    assert film["infdata"]["header"]["durationmin"] == 30 and film["infdata"]["header"]["durationsec"] == 12
    assert [b["block"] for b in film["infdata"]["bookmarks"]["bookmark"]] == [1200, 5400, 9800]
    inside = api(pvr.port, "get", "dir=/mnt/hd/DataFiles/USB")
    assert [e["name"] for e in inside["files"]] == ["Northwind One - Late Show.rec"]
    assert inside["mount"] == "/mnt/sdb1/" and inside["location"] == 2


def test_trees_match_os_walk(pvr):
    for start in ["/mnt/hd/DataFiles", "/mnt/hd", "/mnt/sdb1"]:
        answer = api(pvr.port, "tree", "dir=" + q(start))
        names = [d["name"] for d in answer["directory"]]
        where = host(pvr, start)
        expected = [start + top[len(where):] for top, dirs, files in os.walk(where)]
        assert sorted(names) == sorted(expected), start
        assert names[0] == start
        assert answer["count"] == len(names) and answer["truncated"] == 0
    for outside in ["/etc", "/mnt/hd/../../", "/", "/mnt/hd/DataFiles/../../../tmp"]:
        answer = api(pvr.port, "tree", "dir=" + q(outside))
        assert answer["directory"] == [] and answer["count"] == 0 and answer["truncated"] == 0


def test_rename_and_delete_with_companions(pvr):
    data = host(pvr, "/mnt/hd/DataFiles")
    old = "Harbour News 24 - Evening Edition.rec"
    new = "Harbour News - Évening.rec"
    assert all(os.path.exists(os.path.join(data, old + s)) for s in ("", ".inf", ".nav"))
    contents = [open(os.path.join(data, old + s), "rb").read() for s in ("", ".inf", ".nav")]
    answer = api(pvr.port, "rename", "dir=/mnt/hd/DataFiles&file=%s&new_dir=/mnt/hd/DataFiles/Films&new_file=%s"
                 % (q(old), q(new)))
    assert answer["content"] == "files_rename"
    assert [answer[k + "_status"] for k in ("mpg", "inf", "nav")] == [0, 0, 0]
    assert answer["new_file"] == new and answer["new_dir"] == "/mnt/hd/DataFiles/Films"
    films = host(pvr, "/mnt/hd/DataFiles/Films")
    assert [open(os.path.join(films, new + s), "rb").read() for s in ("", ".inf", ".nav")] == contents
    assert not any(os.path.exists(os.path.join(data, old + s)) for s in ("", ".inf", ".nav"))
    # The listing shows it in its new place with its header.
    listed = api(pvr.port, "get", "dir=/mnt/hd/DataFiles/Films&file=" + q(new))
    assert listed["count"] == 1 and listed["files"][0]["infpresent"] == 1 and listed["files"][0]["navpresent"] == 1

    answer = api(pvr.port, "delete", "dir=/mnt/hd/DataFiles/Films&file_hex=" + new.encode().hex())
    assert answer["content"] == "files_delete"
    assert [(answer[k + "_status"], answer[k + "_errno"]) for k in ("mpg", "inf", "nav")] == [(0, 0)] * 3
    assert not any(os.path.exists(os.path.join(films, new + s)) for s in ("", ".inf", ".nav"))
    # Without ".nav": the companion that is not there is no error.
    answer = api(pvr.port, "delete", "dir=/mnt/hd/DataFiles&file=Analog%20Capture.rec")
    assert [(answer[k + "_status"], answer[k + "_errno"]) for k in ("mpg", "inf", "nav")] == [(0, 0), (0, 0), (0, 2)]


def test_refused_requests_leave_the_disk_byte_identical(pvr):
    os.makedirs(host(pvr, "/etc"), exist_ok=True)
    for name in ("passwd", "passwd.inf", "passwd.nav"):
        open(host(pvr, "/etc/" + name), "w").write("root")
    os.symlink("../../../etc", host(pvr, "/mnt/hd/DataFiles/Escape"))
    before = snapshot(pvr.root)
    rec = q("Kids/Kids Lagoon - Morning Club.rec")
    for params in ["dir=/etc&file=passwd", "dir=/mnt/hd/../../etc&file=passwd",
                   "dir=/mnt/hd/DataFiles/Escape&file=passwd", "dir=/mnt/hd/DataFiles&file=..%2F..%2F..%2Fetc%2Fpasswd",
                   "dir=/mnt/hd/DataFiles&file=" + rec, "dir=/mnt/hd/DataFiles&file=..", "dir=/mnt/hd/DataFiles&file=",
                   "dir=/mnt/hd/DataFiles&file_hex=" + b"../../../etc/passwd".hex()]:
        answer = api(pvr.port, "delete", params)
        assert [(answer[k + "_status"], answer[k + "_errno"]) for k in ("mpg", "inf", "nav")] == [(-1, 22)] * 3, params
    kids = "dir=/mnt/hd/DataFiles/Kids&file=" + q("Kids Lagoon - Morning Club.rec")
    for target in ["new_dir=/tmp&new_file=x.rec", "new_dir=/mnt/hd/DataFiles&new_file=..%2Fx.rec",
                   "new_dir=/mnt/hd/DataFiles/Escape&new_file=x.rec", "new_dir=/mnt/hd/DataFiles/../../..&new_file=x",
                   "new_dir=/mnt/hd/DataFiles&new_file=.."]:
        answer = api(pvr.port, "rename", kids + "&" + target)
        assert [(answer[k + "_status"], answer[k + "_errno"]) for k in ("mpg", "inf", "nav")] == [(-1, 22)] * 3, target
    for params in ["dir=/etc", "dir=/mnt/hd/DataFiles/Escape", "dir=/mnt/hd/../../etc"]:
        answer = api(pvr.port, "get", params)
        assert answer["files"] == [] and answer["count"] == 0 and answer["error_code"] == 2
    assert snapshot(pvr.root) == before


def test_playback_and_recording_commands(pvr):
    answer = api(pvr.port, "play", "dir=/mnt/hd/DataFiles/Films&file=%s&block=1000"
                 % q("Cinema Vault - The Long Harbour.rec"))
    assert answer["status"] == 0 and answer["requested_block"] == 1000
    pvr.expect(r"play ts /mnt/hd/DataFiles/Films/Cinema Vault - The Long Harbour\.rec \((\d+) blocks, 118:45\)")
    pvr.expect(r"playback position 1000 of ")
    assert api(pvr.port, "pause")["error"] == 0
    pvr.expect(r"playback paused")
    # Paused: a jump resumes playing, with the OSD hidden around the move.
    answer = api(pvr.port, "skip", "time=%2B60")
    assert answer["error"] == 0 and answer["original_currentblock"] == 1000
    pvr.expect(r"playback speed 1 direction 1")
    pvr.expect(r"system OSD 1 hidden")
    pvr.expect(r"playback position %d of " % answer["target_block"])
    pvr.expect(r"system OSD 1 shown")
    assert answer["target_block"] > 1000
    answer = api(pvr.port, "jump", "block=-999999")
    assert answer["error"] == 0 and answer["target_block"] == 0
    pvr.expect(r"playback position 0 of ")
    answer = api(pvr.port, "skip", "block=%2B99999999")
    assert answer["error"] == 4 and answer["error_text"] == "Attemp to jump past end"
    assert api(pvr.port, "pause")["error"] == 0
    pvr.send("fail-playinfo on")
    assert api(pvr.port, "resume")["error"] == -1
    pvr.send("fail-playinfo off")
    assert api(pvr.port, "continue")["error"] == 0
    pvr.expect(r"playback playing")
    assert api(pvr.port, "stop")["return_code"] == 0
    pvr.expect(r"stop playback")

    assert api(pvr.port, "play", "dir=/mnt/hd/MP3Files&file=Untagged.mp3")["status"] == 0
    pvr.expect(r"play mp3 /mnt/hd/MP3Files/Untagged\.mp3")
    assert api(pvr.port, "play", "dir=/mnt/hd/MediaFiles&file=Trailer.mp4")["status"] == 1
    pvr.expect(r"play media /mnt/hd/MediaFiles/Trailer\.mp4")
    assert api(pvr.port, "stopplay")["return_code"] == 0

    answer = api(pvr.port, "duration", "slot=2&duration=150")
    assert answer["return_code"] == 1 and answer["requested_duration"] == 150
    answer = api(pvr.port, "stoprec", "slot=0")
    assert answer["return_code"] == 1 and answer["requested_slot"] == 0
    pvr.expect(r"stop recording slot 0")
    assert api(pvr.port, "stoprec")["return_code"] == 99
    assert api(pvr.port, "stoprec", "slot=1")["return_code"] == 0
