"""make package: the archive holds the PVR's folder layout, read back with GNU tar."""
import os
import subprocess
import sys

from conftest import BUILD, SOURCE

PACKAGER = os.path.join(SOURCE, "tools", "make_package.py")
WEB_FILES = ("index.html", "app.js", "app.css", "language-en.txt", "language-de.txt")


def web_root(folder):
    """A web root with the files the browser application's build writes (any build folder
    may run this test, built with the application or not)."""
    folder.mkdir()
    for number, name in enumerate(WEB_FILES):
        (folder / name).write_bytes(f"{name} {number}\n".encode() * 50)
    return str(folder)


def test_archive_has_the_pvr_folder_layout(tmp_path):
    archive = str(tmp_path / "orvane.tar.gz")
    public = web_root(tmp_path / "public_html")
    subprocess.run([sys.executable, PACKAGER, BUILD, public, archive], check=True, capture_output=True)
    listing = subprocess.run(["tar", "-tvzf", archive], check=True, capture_output=True, text=True).stdout
    entries = {line.split()[-1]: line.split()[0] for line in listing.splitlines()}
    assert entries["ProgramFiles/Orvane.tap"] == "-rw-r--r--"
    assert entries["ProgramFiles/Settings/Orvane/skimlet"] == "-rwxr-xr-x"
    for name in WEB_FILES:
        assert f"ProgramFiles/Settings/Orvane/public_html/{name}" in entries
    unpacked = tmp_path / "disk"
    unpacked.mkdir()
    subprocess.run(["tar", "-xzf", archive, "-C", str(unpacked)], check=True)
    ini = (unpacked / "ProgramFiles/Settings/Orvane/Orvane.ini").read_bytes()
    assert b"port=8000\r\n" in ini and b"authentication=1\r\n" in ini
    with open(os.path.join(public, "app.js"), "rb") as f:
        assert (unpacked / "ProgramFiles/Settings/Orvane/public_html/app.js").read_bytes() == f.read()


def test_missing_web_root_is_refused(tmp_path):
    result = subprocess.run([sys.executable, PACKAGER, BUILD, str(tmp_path), str(tmp_path / "x.tar.gz")],
                            capture_output=True, text=True)
    assert result.returncode != 0
    assert "no browser application" in result.stderr
