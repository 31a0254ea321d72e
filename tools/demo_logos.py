#!/usr/bin/python3
"""Channel logos of the demo disk, drawn with Pillow, in the places and formats the PVR
keeps them:

- the logo store: "/ProgramFiles/Settings/Logos/<style>/<aspect>/<logo name>.qtl|.ibl|.qsl",
  an 8-byte header (width and height, 32-bit little-endian) and the pixels as blue, green,
  red, alpha;
- the user's own logos in "/ProgramFiles/Settings/Logos": "<logo ID>.png" (54 x 34),
  "<PC-safe name>.png", "<logo ID>.jpg" and "<PC-safe name>.jpg";
- one "LogoPack.tar" of store logos on the first USB drive ("/mnt/sdb1").

plan(world) says which channel gets which logo; the integration tests use it to know what
each cell of the sprite sheet must show.
"""
import io
import os
import tarfile

from PIL import Image, ImageDraw, ImageFont

CELL = (54, 34)
STYLES = ["3pg", "qtblue", "qtgrey", "qttms", "trans-black", "trans-ibblue", "trans-ibgrey", "trans-qtblue",
          "trans-qtgrey"]
LOGOS = "mnt/hd/ProgramFiles/Settings/Logos"
PACK = "mnt/sdb1/LogoPack.tar"
# How the channels' logos are spread: by position in the TV and radio lists.
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"   # Debian's fonts-dejavu-core
KINDS = ["id_png", "name_png", "store", "id_jpg", "pack", "name_jpg", "none"]


def logo_id(position, network, tsid, service):
    low = tsid << 16 | service
    if low & 0x80000000:
        return 0xFFFFFFFF00000000 | low
    return position << 48 | network << 32 | low


def channel_id(world, svc):
    sat = world["satellites"][svc["satellite"]]
    tp = sat["transponders"][svc["transponder"]]
    return logo_id(sat.get("position", 0), tp["onid"], tp["tsid"], svc["service_id"])


def safe_name(name):
    """The PC-safe name of a channel name (only ISO 8859-1 names keep their letters)."""
    out = ""
    for c in name.lower():
        if "a" <= c <= "z" or "0" <= c <= "9" or c == "+":
            out += c
        elif c in "äöü":
            out += {"ä": "ae", "ö": "oe", "ü": "ue"}[c]
    return out


def picture(seed, text, size=CELL):
    """A logo: a coloured rounded box, a band and the channel's initials."""
    hue = (seed * 67) % 256
    colour = ((hue * 3) % 256, (hue * 7 + 80) % 256, (255 - hue) % 256, 255)
    image = Image.new("RGBA", size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    w, h = size
    draw.rounded_rectangle([1, 1, w - 2, h - 2], radius=6, fill=colour, outline=(255, 255, 255, 255))
    draw.rectangle([4, h * 2 // 3, w - 5, h * 2 // 3 + 3], fill=(20, 20, 20, 255))
    draw.text((6, 4), text[:3], fill=(255, 255, 255, 255), font=ImageFont.truetype(FONT, 12))
    return image


def store_file(image):
    """A logo store file: header and blue, green, red, alpha pixels."""
    w, h = image.size
    r, g, b, a = image.split()
    return w.to_bytes(4, "little") + h.to_bytes(4, "little") + Image.merge("RGBA", (b, g, r, a)).tobytes()


def plan(world):
    """[(type, number, kind, file name or None, Pillow image or None)] for every channel."""
    out = []
    for kind_type, key in ((0, "tv"), (1, "radio")):
        for number, svc in enumerate(world["services"][key]):
            charset = svc.get("charset")
            latin = charset in (None, "latin1")
            name = ("r_" if kind_type else "") + safe_name(svc["name"]) if latin else ""
            kind = KINDS[(number + 3 * kind_type) % len(KINDS)]
            if not latin and kind in ("name_png", "store", "pack", "name_jpg"):
                kind = "id_png"
            ident = channel_id(world, svc)
            seed = number * 2 + kind_type
            image = None if kind == "none" else picture(seed, svc["name"])
            if kind == "id_png":
                file = f"{ident:016x}.png"
            elif kind == "name_png":
                file = f"{name}.png"
            elif kind == "id_jpg":
                file = f"{ident:016x}.jpg"
            elif kind == "name_jpg":
                file = f"{name}.jpg"
            elif kind in ("store", "pack"):
                file = f"trans-black/169/{name}.qtl"
            else:
                file = None
            if kind in ("id_jpg", "name_jpg"):
                image = image.convert("RGB")
            out.append((kind_type, number, kind, file, image))
    return out


def write_logos(root, world):
    """Writes the logos of plan(world) and a few more the sheet does not use."""
    logos = os.path.join(root, LOGOS)
    os.makedirs(logos, exist_ok=True)
    pack = []
    for _, number, kind, file, image in plan(world):
        if kind == "none":
            continue
        if kind == "pack":
            pack.append((file, store_file(image)))
            continue
        path = os.path.join(logos, file)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if kind == "store":
            with open(path, "wb") as f:
                f.write(store_file(image))
            # Other styles, sizes and aspects of the same logo, which the sheet does not use.
            for style, aspect, ext, size in (("qtblue", "43", "qtl", (60, 40)), ("trans-black", "169", "ibl", (90, 60))):
                other = os.path.join(logos, style, aspect, os.path.basename(file)[:-3] + ext)
                os.makedirs(os.path.dirname(other), exist_ok=True)
                with open(other, "wb") as f:
                    f.write(store_file(picture(number, "x", size)))
        elif kind.endswith("jpg"):
            image.save(path, "JPEG", quality=95)
        else:
            image.save(path, "PNG")
    os.makedirs(os.path.dirname(os.path.join(root, PACK)), exist_ok=True)
    with tarfile.open(os.path.join(root, PACK), "w", format=tarfile.USTAR_FORMAT) as tar:
        folders = sorted({os.path.dirname(f) for f, _ in pack} | {"trans-black"})
        for folder in folders:
            info = tarfile.TarInfo(folder)
            info.type = tarfile.DIRTYPE
            info.mode = 0o755
            tar.addfile(info)
        for file, data in pack:
            info = tarfile.TarInfo(file)
            info.size = len(data)
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))


def expected_cell(image):
    """The RGBA pixels a cell shows for a logo of the plan (JPEGs as Pillow decodes them)."""
    return image.convert("RGBA").tobytes()
