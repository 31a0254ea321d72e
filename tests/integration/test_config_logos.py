"""Orvane-Config.tap's logo sprite sheet on the demo disk: started in batch mode by
Orvane.tap, it builds the four files from the demo disk's logos (user PNGs and JPEGs, the
logo store, a LogoPack.tar on a USB drive). The PNG is decoded by Pillow and every cell
compared with the logo it must show, the CSS parsed by tinycss2, the JSON index by Python's
json module; hostile packs leave nothing outside the logo folder."""
import io
import json
import os
import tarfile
import urllib.request

import pytest
import tinycss2
from PIL import Image

import demo_logos
from conftest import CONFIG_TAP, install_tap, start_pvrsim, write_ini  # noqa: F401

LOGOS = "mnt/hd/ProgramFiles/Settings/Logos"
HTML = "mnt/hd/ProgramFiles/Settings/Orvane/public_html"
HOSTILE_NAME = "Evil*/.x{a:b}/*"


def files(root, name):
    with open(os.path.join(root, HTML, "service-logos." + name), "rb") as f:
        return f.read()


def css_rules(text):
    """{class name: (x, y)} of the style sheet, every rule one class and one position."""
    rules = {}
    for rule in tinycss2.parse_stylesheet(text, skip_comments=True, skip_whitespace=True):
        assert rule.type == "qualified-rule", rule
        prelude = [t for t in rule.prelude if t.type != "whitespace"]
        assert len(prelude) == 2 and prelude[0] == "." and prelude[1].type == "ident", rule.prelude
        declarations = tinycss2.parse_declaration_list(rule.content, skip_comments=True, skip_whitespace=True)
        assert [d.name for d in declarations] == ["background-position"]
        values = [t for t in declarations[0].value if t.type != "whitespace"]
        assert [v.unit for v in values] == ["px", "px"]
        assert prelude[1].value not in rules
        rules[prelude[1].value] = (values[0].int_value, values[1].int_value)
    return rules


def cell(sheet, x, y):
    return sheet.crop((x, y, x + 54, y + 34)).tobytes()


def close_enough(got, want, limit):
    """Largest difference of one colour component."""
    return max(abs(a - b) for a, b in zip(got, want)) <= limit


@pytest.fixture
def world(pvr_root):
    path = os.path.join(pvr_root, "world.json")
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    data["plan"] = demo_logos.plan(data)   # the logos as the demo disk drew them
    # A name that would end a CSS comment and open a rule of its own.
    data["services"]["tv"][0]["name"] = HOSTILE_NAME   # a channel whose logo goes by its ID
    with open(path, "w", encoding="utf-8") as f:
        json.dump({k: v for k, v in data.items() if k != "plan"}, f, ensure_ascii=False)
    return data


def test_batch_build_on_the_demo_disk(pvr_root, world, web_server):
    install_tap(pvr_root, CONFIG_TAP, "Orvane-Config.tap")
    sim = web_server(echo=False)
    sim.expect(r"exec /ProgramFiles/Orvane-Config\.tap in batch mode")
    sim.expect(r"unloaded slot \d+ id 0x514b5710", timeout=60)

    plan = world["plan"]
    index = json.loads(files(pvr_root, "txt"))
    with urllib.request.urlopen(f"http://127.0.0.1:{sim.port}/api?function=logos&action=get!", timeout=10) as r:
        assert json.loads(r.read()) == index
    entries = index["logos"]
    assert [(e["logoid"], e["svctype"], e["svcnum"], e["sprite_x"], e["sprite_y"]) for e in entries[:3]] == [
        ("ffffffffffffff00", 99, 0, 54, 0), ("ffffffffffffff02", 99, 2, 108, 0), ("ffffffffffffff04", 99, 4, 162, 0)]
    with_logo = [p for p in plan if p[2] != "none"]
    assert index["count"] == len(with_logo) + 4 == len(entries) + 1
    by_channel = {(e["svctype"], e["svcnum"]): e for e in entries[3:]}
    assert sorted(by_channel) == sorted((t, n) for t, n, *_ in with_logo)
    # Cells in channel order from column 4 of row 0, 20 across.
    for number, (t, n, *_) in enumerate(with_logo):
        e = by_channel[(t, n)]
        assert (e["sprite_x"], e["sprite_y"]) == ((number + 4) % 20 * 54, (number + 4) // 20 * 34)

    sheet = Image.open(io.BytesIO(files(pvr_root, "png")))
    assert sheet.mode == "RGBA" and sheet.size == (1080, (len(with_logo) + 4 + 19) // 20 * 34)
    assert cell(sheet, 0, 0) == bytes(54 * 34 * 4)     # the cell of channels without a logo
    for x in (54, 108, 162):
        assert len(set(cell(sheet, x, 0))) > 4          # the built-in AV images are drawn
    for t, n, kind, file, image in with_logo:
        e = by_channel[(t, n)]
        got = cell(sheet, e["sprite_x"], e["sprite_y"])
        if kind.endswith("jpg"):
            decoded = Image.open(os.path.join(pvr_root, LOGOS, file)).convert("RGBA")
            assert close_enough(got, decoded.tobytes(), 2), (kind, file)
        else:
            assert got == demo_logos.expected_cell(image), (kind, file)

    rules = css_rules(files(pvr_root, "css").decode("utf-8"))
    assert rules.pop("logo-av-general") == (-54, 0)
    assert rules.pop("logo-av-composite") == (-108, 0)
    assert rules.pop("logo-av-component") == (-162, 0)
    ids = {(t, n): None for t, n, *_ in plan}
    assert len(rules) == len(ids)                        # the hostile name made no rule of its own
    for e in entries[3:]:
        assert rules.pop("logo-" + e["logoid"]) == (-e["sprite_x"], -e["sprite_y"])
    assert set(rules.values()) == {(0, 0)}               # the channels without a logo
    hostile = "%016x" % demo_logos.channel_id(world, world["services"]["tv"][0])
    line = next(l for l in files(pvr_root, "css").decode("utf-8").split("\r\n") if l.startswith(".logo-" + hostile))
    assert line.count("*/") == 1 and line.endswith("*/") and "{a:b}" in line

    log = files(pvr_root, "log").decode("utf-8")
    assert "LogoPack.tar unpacked: 1 files.<br>" in log
    assert f"channel logos found out of {len(plan) + 4} channels" in log
    # The pack was taken from the USB drive, unpacked and deleted; its logo is in the store.
    assert not os.path.exists(os.path.join(pvr_root, demo_logos.PACK))
    assert not os.path.exists(os.path.join(pvr_root, LOGOS, "LogoPack.tar"))
    pack_file = next(f for _, _, k, f, _ in plan if k == "pack")
    assert os.path.isfile(os.path.join(pvr_root, LOGOS, pack_file))
    assert os.path.isfile(os.path.join(pvr_root, LOGOS, "Logo.cache"))
    with open(os.path.join(pvr_root, LOGOS, "Logos.lil"), encoding="latin-1") as f:
        listed = f.read()
    for e in entries[3:]:
        assert e["logoid"] + "=" in listed


def hostile_pack(kind, outside):
    """A pack with one hostile entry among good ones."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as tar:
        def add(name, data=b"x" * 16, type_=tarfile.REGTYPE, link=""):
            info = tarfile.TarInfo(name)
            info.type, info.linkname, info.size = type_, link, len(data) if type_ == tarfile.REGTYPE else 0
            tar.addfile(info, io.BytesIO(data) if type_ == tarfile.REGTYPE else None)
        add("trans-black/169/good.qtl")
        if kind == "traversal":
            add("trans-black/../../../../escape.qtl")
        elif kind == "dotdot-prefix":
            add("../escape.qtl")
        elif kind == "absolute":
            add(os.path.join(outside, "escape.qtl"))
        elif kind == "symlink":
            add("trans-black/out", type_=tarfile.SYMTYPE, link=outside)
            add("trans-black/out/escape.qtl")
        elif kind == "hardlink":
            add("trans-black/hard", type_=tarfile.LNKTYPE, link=os.path.join(outside, "victim"))
    return buffer.getvalue()


@pytest.mark.parametrize("kind", ["traversal", "dotdot-prefix", "absolute", "symlink", "hardlink"])
def test_hostile_packs_leave_nothing_outside_the_logo_folder(pvr_root, start_pvrsim, tmp_path, kind):
    outside = str(tmp_path / "outside")
    os.makedirs(outside)
    with open(os.path.join(outside, "victim"), "wb") as f:
        f.write(b"keep me")
    pack = os.path.join(pvr_root, demo_logos.PACK)
    with open(pack, "wb") as f:
        f.write(hostile_pack(kind, outside))
    with open(os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini"), "ab") as f:
        f.write(b"rebuildlogos=1\r\n")
    tap = install_tap(pvr_root, CONFIG_TAP, "Orvane-Config.tap")
    before = set()
    for folder, _, names in os.walk(pvr_root):
        before |= {os.path.join(folder, n) for n in names}
    sim = start_pvrsim(pvr_root, [tap])
    sim.expect(r"unloaded slot 0 id 0x514b5710", timeout=60)

    logos = os.path.join(pvr_root, LOGOS)
    after = set()
    for folder, _, names in os.walk(pvr_root):
        after |= {os.path.join(folder, n) for n in names}
    # pvrsim itself writes the disk's identification below proc at its start.
    allowed = (logos + os.sep, os.path.join(pvr_root, HTML) + os.sep, os.path.join(pvr_root, "dev/pts") + os.sep,
               os.path.join(pvr_root, "proc/ide") + os.sep)
    new = {p for p in after - before if not p.startswith(allowed)}
    assert new == set()
    assert sorted(os.listdir(outside)) == ["victim"]
    with open(os.path.join(outside, "victim"), "rb") as f:
        assert f.read() == b"keep me"
    assert not any("escape" in p for p in after)
    # Refused whole: kept in the logo folder, nothing of it unpacked, the refusal logged.
    assert os.path.isfile(os.path.join(logos, "LogoPack.tar"))
    assert not os.path.exists(os.path.join(logos, "trans-black/169/good.qtl"))
    assert not os.path.exists(os.path.join(logos, ".LogoPack.tmp"))
    assert "LogoPack.tar refused, kept" in files(pvr_root, "log").decode("utf-8")
