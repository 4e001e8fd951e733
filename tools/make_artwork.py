#!/usr/bin/env python3
"""Draws the program's artwork into resources/art/ (bitmaps and icons).

Run by hand after changing a picture; the generated files are committed so
the build needs no drawing tools. Needs ImageMagick's `convert` and the
DejaVu fonts (Debian: imagemagick, fonts-dejavu-core).

Look: flat and calm. A deep teal band with the product name for the header
and footer, light button faces that turn blue when hot and deeper blue when
pressed, and simple round glyph icons drawn at 4x and scaled down.

Every bitmap is drawn at 100, 150 and 200 % (name.bmp, name_150.bmp,
name_200.bmp) for the window to pick the nearest to its DPI; each is a
256-colour BMP with RLE8 compression, as Windows' bitmap loader reads it:
the bands are rows of one colour, so the three sizes together weigh less
than one 24-bit picture did. Icons are written by pack_icon() below, which lays
out each .ico by hand so that every size can carry both an 8-bit (256
colour) and a 32-bit (alpha) image, as the resource table asks.
"""
import os
import re
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "resources", "art")
FONT = "DejaVu-Sans"
FONT_BOLD = "DejaVu-Sans-Bold"

TEAL_DARK = "#0E4F5C"
TEAL = "#17707F"
TEAL_LIGHT = "#2A9AA8"
ACCENT = "#F2B134"


def run(args):
    subprocess.run(["convert"] + args, check=True)


SCALES = ((1.0, ""), (1.5, "_150"), (2.0, "_200"))


def bmp8(args, out):
    run(args + ["-alpha", "off", "+dither", "-colors", "256", "-type", "Palette",
                "-compress", "RLE", "BMP3:" + os.path.join(ART, out)])


def px(value, scale):
    """A length at 96 DPI at the scale, rounded as the window rounds it."""
    return int(value * scale + 0.5)


def at(scale, text):
    """Every number in a draw command scaled: "circle 40,40 40,20"."""
    return re.sub(r"\d+(\.\d+)?", lambda m: "%g" % (float(m.group(0)) * scale), text)


# ---- bitmaps -------------------------------------------------------------

def header(scale, suffix):
    w, h = px(600, scale), px(80, scale)
    bmp8(["-size", "%dx%d" % (w, h), "gradient:%s-%s" % (TEAL, TEAL_DARK),
           # a soft diagonal sheen on the right
           "(", "-size", "%dx%d" % (w, h), "xc:none", "-fill", "rgba(255,255,255,0.06)",
           "-draw", at(scale, "polygon 330,0 600,0 600,80 250,80"), ")", "-composite",
           # the mark: a ring with a rising arrow
           "-stroke", "white", "-strokewidth", "%g" % (4 * scale), "-fill", "none",
           "-draw", at(scale, "circle 40,40 40,20"),
           "-stroke", ACCENT, "-strokewidth", "%g" % (4 * scale),
           "-draw", at(scale, "line 40,48 40,30"),
           "-stroke", "none", "-fill", ACCENT, "-draw", at(scale, "polygon 32,32 48,32 40,22"),
           "-stroke", "none", "-fill", "white", "-font", FONT_BOLD,
           "-pointsize", "%g" % (25 * scale),
           "-annotate", at(scale, "+72+40"), "Orvane Tool",
           "-font", FONT, "-pointsize", "%g" % (11 * scale), "-fill", "rgba(255,255,255,0.8)",
           "-annotate", at(scale, "+73+58"), "Startup manager",
           "-fill", "rgba(255,255,255,0.25)",
           "-draw", "rectangle 0,%d %d,%d" % (h - px(2, scale), w, h)],
          "header%s.bmp" % suffix)


def footer(scale, suffix):
    # No words: the window draws the entry count on it, which stays true
    # whatever a command does.
    w, h = px(600, scale), px(25, scale)
    bmp8(["-size", "%dx%d" % (w, h), "xc:" + TEAL_DARK,
          "-fill", TEAL_LIGHT, "-draw", "rectangle 0,0 %d,%d" % (w, px(2, scale) - 1)],
         "footer%s.bmp" % suffix)


def face(name, top, bottom, border, scale, suffix):
    w, h = px(100, scale), px(30, scale)
    bmp8(["-size", "%dx%d" % (w, h), "gradient:%s-%s" % (top, bottom),
          "-fill", "none", "-stroke", border, "-strokewidth", "%g" % scale,
          "-draw", "roundrectangle %g,%g %g,%g %g,%g" % (scale / 2 - 0.5, scale / 2 - 0.5,
                                                         w - scale / 2 - 0.5, h - scale / 2 - 0.5,
                                                         4 * scale, 4 * scale)],
         name + suffix + ".bmp")


def editor_header(name, title, subtitle, glyph, scale, suffix):
    """glyph: the mark's draw arguments at the scale."""
    w, h = px(380, scale), px(70, scale)
    glyph = glyph(scale)
    bmp8(["-size", "%dx%d" % (w, h), "gradient:%s-%s" % (TEAL, TEAL_DARK),
          "-stroke", "white", "-strokewidth", "%g" % (3 * scale), "-fill", "none",
          "-draw", at(scale, "circle 35,35 35,18")] + glyph +
         ["-stroke", "none", "-fill", "white", "-font", FONT_BOLD,
          "-pointsize", "%g" % (20 * scale),
          "-annotate", at(scale, "+66+33"), title,
          "-font", FONT, "-pointsize", "%g" % (11 * scale), "-fill", "rgba(255,255,255,0.8)",
          "-annotate", at(scale, "+67+52"), subtitle],
         name + suffix + ".bmp")


# ---- icons ---------------------------------------------------------------

def render(size, draw):
    """Draws at 80 x 80 (scaled for the app icon sizes) and returns RGBA rows."""
    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "i.png")
        run(["-size", "80x80", "xc:none"] + draw +
            ["-filter", "box", "-resize", "%dx%d" % (size, size), "png32:" + png])
        raw = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True,
                             capture_output=True).stdout
    return [raw[y * size * 4:(y + 1) * size * 4] for y in range(size)]


def dib(rows, size, bits):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask."""
    mask_stride = ((size + 31) // 32) * 4
    and_rows = []
    for row in rows:
        bits_row = bytearray(mask_stride)
        for x in range(size):
            if row[x * 4 + 3] < 128:
                bits_row[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits_row))
    if bits == 32:
        palette = b""
        colour = [b"".join(struct.pack("BBBB", r[x*4+2], r[x*4+1], r[x*4], r[x*4+3])
                           for x in range(size)) for r in rows]
        colours_used = 0
    else:
        # A 6 x 6 x 6 colour cube (216 colours) holds every pixel closely enough
        # for a 256-colour display; transparent pixels come from the mask.
        cube = [0, 51, 102, 153, 204, 255]
        palette = b"".join(struct.pack("BBBB", cube[b], cube[g], cube[r], 0)
                           for r in range(6) for g in range(6) for b in range(6))
        palette += b"\0\0\0\0" * (256 - 216)
        def index(r, g, b, a):
            if a < 128:
                return 0
            # blend against white so soft edges do not turn dark
            r, g, b = [(c * a + 255 * (255 - a)) // 255 for c in (r, g, b)]
            return (round(r / 51) * 36) + (round(g / 51) * 6) + round(b / 51)
        stride = (size + 3) & ~3
        colour = []
        for r in rows:
            line = bytes(index(r[x*4], r[x*4+1], r[x*4+2], r[x*4+3]) for x in range(size))
            colour.append(line + b"\0" * (stride - size))
        colours_used = 256
    body = b"".join(reversed(colour)) + b"".join(reversed(and_rows))
    head = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(body), 0, 0,
                       colours_used, 0)
    return head + palette + body


def pack_icon(name, images):
    """images: list of (size, bits, rows). Writes an .ico with all of them."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, bits, rows in images:
        blob = dib(rows, size, bits)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(os.path.join(ART, name), "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs))


def glyph_icon(name, draw):
    # 20 pixels at 100 %, 30 and 40 for the buttons at 150 and 200 %; the
    # 256-colour image only at 20, for the displays that need it.
    rows = render(20, draw)
    pack_icon(name, [(20, 8, rows), (20, 32, rows), (30, 32, render(30, draw)),
                     (40, 32, render(40, draw))])


def disc(colour):
    return ["-stroke", "none", "-fill", colour, "-draw", "circle 40,40 40,3"]


GLYPHS = {
    # add: green disc, white plus
    "add.ico": disc("#2E9E5B") + ["-fill", "white", "-draw", "rectangle 34,18 46,62",
                                  "-draw", "rectangle 18,34 62,46"],
    # edit: a pencil across an orange disc
    "edit.ico": disc("#E08A1E") + ["-fill", "white",
                                   "-draw", "polygon 22,50 50,22 58,30 30,58",
                                   "-draw", "polygon 22,50 30,58 18,62",
                                   "-fill", "#E08A1E", "-draw", "polygon 45,27 50,22 58,30 53,35"],
    # apply: a check mark on blue
    "apply.ico": disc("#2F7BC4") + ["-stroke", "white", "-strokewidth", "10", "-fill", "none",
                                    "-draw", "polyline 21,41 35,55 60,27"],
    # exit: a cross on red
    "exit.ico": disc("#D24B43") + ["-stroke", "white", "-strokewidth", "10",
                                   "-draw", "line 27,27 53,53", "-draw", "line 53,27 27,53"],
    # refresh: a circular arrow on teal
    "refresh.ico": disc(TEAL) + ["-stroke", "white", "-strokewidth", "8", "-fill", "none",
                                 "-draw", "arc 21,21 59,59 20,290",
                                 "-stroke", "none", "-fill", "white",
                                 "-draw", "polygon 38,8 58,21 38,34"],
    # save: a floppy disk on slate
    "save.ico": disc("#45566B") + ["-fill", "white", "-draw", "roundrectangle 21,19 59,61 4,4",
                                   "-fill", "#45566B", "-draw", "rectangle 29,19 51,33",
                                   "-fill", "white", "-draw", "rectangle 44,22 48,30",
                                   "-fill", "#8FB3D9", "-draw", "rectangle 27,41 53,61"],
    # help: a question mark on violet
    "help.ico": disc("#6A4FB3") + ["-fill", "white", "-font", FONT_BOLD, "-pointsize", "56",
                                   "-gravity", "center", "-annotate", "+0+2", "?"],
    # browse: a yellow folder
    "browse.ico": ["-stroke", "none", "-fill", "#C98A12",
                   "-draw", "roundrectangle 6,16 36,30 4,4",
                   "-draw", "roundrectangle 6,22 74,66 5,5",
                   "-fill", ACCENT, "-draw", "roundrectangle 6,30 74,68 5,5"],
}


def app_icon():
    draw = ["-stroke", "none", "-fill", TEAL, "-draw", "roundrectangle 2,2 77,77 16,16",
            "-stroke", "white", "-strokewidth", "7", "-fill", "none",
            "-draw", "circle 40,42 40,20",
            "-stroke", ACCENT, "-strokewidth", "8", "-draw", "line 40,50 40,26",
            "-stroke", "none", "-fill", ACCENT, "-draw", "polygon 28,30 52,30 40,14"]
    images = []
    for size in (16, 20, 32, 48):
        images.append((size, 8, render(size, draw)))
    for size in (20, 32, 48):
        images.append((size, 32, render(size, draw)))
    pack_icon("app.ico", images)


def main():
    os.makedirs(ART, exist_ok=True)
    for scale, suffix in SCALES:
        header(scale, suffix)
        footer(scale, suffix)
        face("face_normal", "#FFFFFF", "#EEF1F4", "#C3CCD5", scale, suffix)
        face("face_hot", "#F2F8FE", "#DCEBFA", "#5B9BD9", scale, suffix)
        face("face_pressed", "#C9DEF3", "#DDEBF8", "#2F6FAE", scale, suffix)
        editor_header("editor_add", "Add an entry", "A new program to start with Windows",
                      lambda s: ["-stroke", "none", "-fill", ACCENT,
                                 "-draw", at(s, "rectangle 32,25 38,45"),
                                 "-draw", at(s, "rectangle 25,32 45,38")], scale, suffix)
        editor_header("editor_edit", "Edit an entry", "Change how this program starts",
                      lambda s: ["-stroke", ACCENT, "-strokewidth", "%g" % (4 * s),
                                 "-draw", at(s, "line 27,43 43,27")], scale, suffix)
    for name, draw in GLYPHS.items():
        glyph_icon(name, draw)
    app_icon()


if __name__ == "__main__":
    main()
