"""Orvane-Config.tap's menu on the emulated OSD, started by Orvane.tap on TMSCommander's menu
event and driven by remote-control keys: the screen is captured as PNG (pvrsim's screen
command and Orvane.tap's "/@@osd.png") and compared with the same texts drawn by Pillow in
the same font; the saved settings are picked up by Orvane.tap after the reload event."""
import io
import os
import time
import urllib.request

from PIL import Image, ImageDraw, ImageFilter, ImageFont

from conftest import CONFIG_TAP, free_port, install_tap, public_html, read_log

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
MENU_X, MENU_Y, ROW_Y, ROW_H = 40, 24, 56, 32
BACK = (0x18, 0x20, 0x38)
HIGHLIGHT = (0xE0, 0xA0, 0x20)


def screen(sim, tmp_path, name):
    path = str(tmp_path / name)
    sim.send("screen " + path)
    sim.expect(r"screen written to ")
    return Image.open(path).convert("RGB")


def shows_text(picture, text, x, y, background, colour=(255, 255, 255), size=16):
    """Whether picture shows text drawn at (x, y) in the font on background: Pillow draws it
    in the same font; both crops, softened a little (hinting may move a thin stroke by a
    pixel), must correlate closely. Returns the verdict and the best correlation."""
    font = ImageFont.truetype(FONT, size)
    width = int(font.getlength(text)) + 4
    want = Image.new("RGB", (width, size + 6), background)
    ImageDraw.Draw(want).text((0, 0), text, font=font, fill=colour, anchor="la")

    def soft(image):
        return list(image.convert("L").filter(ImageFilter.GaussianBlur(1)).getdata())

    wanted = soft(want)
    best = -1.0
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            got = soft(picture.crop((x + dx, y + dy, x + dx + width, y + dy + size + 6)))
            best = max(best, correlation(got, wanted))
    return best >= 0.85, round(best, 3)


def correlation(a, b):
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((p - ma) * (q - mb) for p, q in zip(a, b))
    va = sum((p - ma) ** 2 for p in a)
    vb = sum((q - mb) ** 2 for q in b)
    return cov / (va * vb) ** 0.5 if va and vb else 0.0


def row_top(item):
    return MENU_Y + ROW_Y + item * ROW_H


def test_menu_on_screen_driven_by_keys(pvr_root, web_server, tmp_path):
    for name in ("css", "log", "png", "txt"):   # no logo rebuild at start-up
        public_html(pvr_root, "service-logos." + name, b"{}")
    install_tap(pvr_root, CONFIG_TAP, "Orvane-Config.tap")
    sim = web_server(echo=False)
    sim.send("tmscommander 2")
    sim.expect(r"exec /ProgramFiles/Orvane-Config\.tap$")
    sim.expect(r"loaded slot 1 id 0x514b5710")
    time.sleep(0.5)

    first = screen(sim, tmp_path, "menu.png")
    assert shows_text(first, "Orvane-Config v2.20: Configure Settings", MENU_X + 54, MENU_Y + 11, (0x30, 0x4C, 0x90),
                      size=19)[0]
    for item, label in enumerate(["PVR Name", "TCP Listening Port", "Logging Level", "EPG SOURCE", "URL"]):
        background = HIGHLIGHT if item == 0 else BACK
        colour = (0, 0, 0) if item == 0 else (255, 255, 255)
        ok, large = shows_text(first, label, MENU_X + 20, row_top(item) + 6, background, colour)
        assert ok, (label, large)
    assert shows_text(first, "<EMPTY>", MENU_X + 310, row_top(0) + 6, HIGHLIGHT, (0, 0, 0))[0]
    assert first.getpixel((MENU_X + 600, row_top(0) + 2)) == HIGHLIGHT
    assert first.getpixel((MENU_X + 600, row_top(1) + 2)) == BACK

    # Down to the logging level (3), two steps up: "Basic", highlighted.
    for key in ("0x1001D", "0x1001D", "0x10015", "0x10015"):
        sim.send("key " + key)
    time.sleep(0.3)
    second = screen(sim, tmp_path, "logging.png")
    assert second.getpixel((MENU_X + 600, row_top(2) + 2)) == HIGHLIGHT
    assert second.getpixel((MENU_X + 600, row_top(0) + 2)) == BACK
    assert shows_text(second, "Basic", MENU_X + 310, row_top(2) + 6, HIGHLIGHT, (0, 0, 0))[0]
    assert not shows_text(second, "None", MENU_X + 310, row_top(2) + 6, HIGHLIGHT, (0, 0, 0))[0]

    # Orvane.tap serves the same OSD picture.
    with urllib.request.urlopen(f"http://127.0.0.1:{sim.port}/@@osd.png", timeout=10) as r:
        osd = Image.open(io.BytesIO(r.read())).convert("RGBA")
    assert osd.getpixel((MENU_X + 600, row_top(2) + 2))[:3] == HIGHLIGHT

    # A new port typed on the port item, saved: Orvane.tap reloads and listens there.
    new_port = free_port()
    sim.send("key 0x10012")
    for digit in str(new_port):
        sim.send("key 0x%x" % (0x10000 + int(digit)))
    time.sleep(0.3)
    assert shows_text(screen(sim, tmp_path, "port.png"), str(new_port), MENU_X + 310, row_top(1) + 6, HIGHLIGHT,
                      (0, 0, 0))[0]
    sim.send("key 0x1003D")
    sim.expect(r"unloaded slot 1 id 0x514b5710")
    deadline = time.time() + 10
    while time.time() < deadline:
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{new_port}/service-logos.txt",
                                        timeout=2) as r:
                assert r.status == 200
                break
        except OSError:
            time.sleep(0.1)
    else:
        raise AssertionError("Orvane.tap does not listen on the saved port")
    assert "Received request to re-load configuration." in read_log(pvr_root)
    with open(os.path.join(pvr_root, "mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini"), "rb") as f:
        ini = f.read()
    assert f"port={new_port}\r\n".encode() in ini and b"logginglevel=1\r\n" in ini
    # The menu is gone from the screen.
    assert screen(sim, tmp_path, "after.png").getpixel((MENU_X + 600, row_top(2) + 2)) != HIGHLIGHT
