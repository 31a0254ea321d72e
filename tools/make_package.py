#!/usr/bin/python3
"""Writes the PVR's folder layout as one archive that a user unpacks onto the disk:
ProgramFiles/Orvane.tap and Orvane-Config.tap, and in ProgramFiles/Settings/Orvane the
search program skimlet, the default settings Orvane.ini and the browser application
public_html.

usage: make_package.py TAP_BUILD_DIR PUBLIC_HTML_DIR ARCHIVE.tar.gz
"""
import io
import os
import sys
import tarfile

SETTINGS = "ProgramFiles/Settings/Orvane"

# Default settings: port 8000, sign-in needed outside the PVR's own network (no
# credentials yet, so only the home network is served until the settings menu sets them).
DEFAULT_INI = ("port=8000\r\nsearchport=8800\r\nlogginglevel=1\r\nepgsource=0\r\ncachecontrol=1\r\n"
               "authentication=1\r\nepgcache=0\r\n")


def add_file(tar, source, name, mode):
    info = tar.gettarinfo(source, name)
    info.mode = mode
    info.uid = info.gid = 0
    info.uname = info.gname = ""
    with open(source, "rb") as f:
        tar.addfile(info, f)


def add_text(tar, name, text):
    data = text.encode()
    info = tarfile.TarInfo(name)
    info.size = len(data)
    info.mode = 0o644
    tar.addfile(info, io.BytesIO(data))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    build, public, archive = sys.argv[1:]
    wanted = [
        ("webserver/Orvane.tap", "ProgramFiles/Orvane.tap", 0o644, True),
        ("config/Orvane-Config.tap", "ProgramFiles/Orvane-Config.tap", 0o644, False),
        ("search/skimlet", f"{SETTINGS}/skimlet", 0o755, True),
    ]
    if not os.path.isfile(os.path.join(public, "index.html")):
        sys.exit(f"make_package: no browser application in {public}")
    with tarfile.open(archive, "w:gz") as tar:
        for source, name, mode, required in wanted:
            path = os.path.join(build, source)
            if os.path.isfile(path):
                add_file(tar, path, name, mode)
            elif required:
                sys.exit(f"make_package: {path} is missing")
            else:
                print(f"make_package: {path} not built, left out")
        add_text(tar, f"{SETTINGS}/Orvane.ini", DEFAULT_INI)
        for folder, _, files in os.walk(public):
            for file in sorted(files):
                path = os.path.join(folder, file)
                add_file(tar, path, f"{SETTINGS}/public_html/{os.path.relpath(path, public)}", 0o644)
    print(f"make_package: wrote {archive}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
