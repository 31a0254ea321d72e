"""Screen captures of the emulated screen: a video picture and an OSD picture set as PNG
files in the root, the nine capture names fetched over HTTP, decoded with Pillow (and the
TIFF read by libtiff's tiffinfo) and compared pixel by pixel with the screen as pvrsim
writes it and as Pillow composes it from the two pictures."""
import os
import subprocess

from PIL import Image

from conftest import get

WIDTH, HEIGHT = 1024, 576


def video_picture(path, seed):
    im = Image.new("RGBA", (720, 576))
    im.putdata([((x * 3 + seed) % 256, (y * 5) % 256, (x ^ y) % 256, 255 - x % 7) for y in range(576)
                for x in range(720)])
    im.save(path)


def osd_picture(path):
    """Transparent but for a box, a diagonal of alpha-only pixels and the outer columns."""
    im = Image.new("RGBA", (720, 576), (0, 0, 0, 0))
    for y in range(100, 200):
        for x in range(200, 500):
            im.putpixel((x, y), (200, 30, x % 256, 255))
    for i in range(0, 576):
        im.putpixel((i, i), (0, 0, 0, 1))
    for y in range(576):
        im.putpixel((0, y), (255, 0, 0, 255))
        im.putpixel((719, y), (0, 0, 255, 255))
    im.save(path)


def scaled(rows, source_width):
    """A 720-wide picture (rows of RGBA tuples) in capture size: column x from 45x/64."""
    columns = [x * source_width // WIDTH for x in range(WIDTH)]
    return [[row[c] for c in columns] for row in rows]


def rows_of(image):
    data = list(image.convert("RGBA").getdata())
    return [data[y * image.size[0]:(y + 1) * image.size[0]] for y in range(image.size[1])]


def expected(video, osd, what):
    black = [[(0, 0, 0, 0)] * 720 for _ in range(576)]
    out = rows_of(video) if what in ("screen", "programme") else black
    if what in ("screen", "osd"):
        planes = rows_of(osd)
        out = [[o if any(o) else v for v, o in zip(vrow, orow)] for vrow, orow in zip(out, planes)]
    return scaled(out, 720)


def fetch(port, target):
    """The content type and body of a capture; target with or without its leading "/"."""
    status, fields, body = get(port, target)
    assert status == "HTTP/1.1 200 OK", target
    assert int(fields["content-length"]) == len(body)
    return fields["content-type"], body


def test_the_nine_names_show_the_emulated_screen(pvr_root, web_server, tmp_path):
    os.makedirs(os.path.join(pvr_root, "pvrsim"), exist_ok=True)
    video_path = os.path.join(pvr_root, "pvrsim/video.png")
    osd_path = os.path.join(pvr_root, "pvrsim/osd.png")
    video_picture(video_path, 0)
    osd_picture(osd_path)
    sim = web_server(echo=False)
    screen_file = str(tmp_path / "screen.png")
    sim.send(f"screen {screen_file}")
    sim.expect(r"screen written to ")
    # pvrsim's screen is the video with the OSD over it.
    video, osd = Image.open(video_path), Image.open(osd_path)
    composed = rows_of(Image.open(screen_file))
    assert composed == [[o if any(o) else v for v, o in zip(vr, orow)]
                        for vr, orow in zip(rows_of(video), rows_of(osd))]

    types = {"png": "image/png", "bmp": "image/bmp", "tif": "image/tiff"}
    sizes = {"bmp": 1769526, "tif": 1769782}
    for what in ("screen", "osd", "programme"):
        want = expected(video, osd, what)
        if what == "screen":
            assert want == scaled(composed, 720)   # the capture is pvrsim's screen, scaled
        for suffix in ("png", "bmp", "tif"):
            name = f"@@{what}.{suffix}"
            content_type, data = fetch(sim.port, name if suffix != "bmp" else "/" + name)
            assert content_type == types[suffix] + "; charset=utf-8", name
            if suffix in sizes:
                assert len(data) == sizes[suffix], name
            path = tmp_path / name
            path.write_bytes(data)
            image = Image.open(path)
            assert image.size == (WIDTH, HEIGHT), name
            if suffix == "png":
                assert image.mode == "RGBA"
                assert rows_of(image) == want, name
            else:
                got = list(image.convert("RGB").getdata())
                assert got == [p[:3] for row in want for p in row], name
    info = subprocess.run(["tiffinfo", str(tmp_path / "@@screen.tif")], capture_output=True, text=True,
                          check=True).stdout
    for line in ("Image Width: 1024 Image Length: 576", "Bits/Sample: 8", "Samples/Pixel: 3",
                 "Rows/Strip: 64", "Photometric Interpretation: RGB color", "DocumentName: ZEL5.tif",
                 "Compression Scheme: None", "Planar Configuration: single image plane"):
        assert line in info, info

    # A new video picture shows at the next capture.
    video_picture(video_path, 99)
    _, data = fetch(sim.port, "/@@programme.png")
    (tmp_path / "again.png").write_bytes(data)
    assert rows_of(Image.open(tmp_path / "again.png")) == expected(Image.open(video_path), osd, "programme")
