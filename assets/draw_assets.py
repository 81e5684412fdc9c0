#!/usr/bin/python3
"""Draws the program's icon and design images into assets/generated/.

Run from anywhere: /usr/bin/python3 assets/draw_assets.py (Debian's python, which has PIL). Needs python3-pil and the WenQuanYi Micro Hei
font (fonts-wqy-microhei). The outputs are committed; the build only embeds them.
Pictures that the window shows scaled are drawn at twice their design size so they stay sharp
at 150 % and 200 %.
"""
import math
import os
import struct

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "generated")
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

ACCENT = (37, 99, 235)       # the skin's accent blue
ACCENT2 = (124, 58, 237)     # violet end of the brand gradient
INK = (31, 41, 55)           # text
MUTED = (107, 114, 128)      # secondary glyphs


def font(size):
    return ImageFont.truetype(FONT, size)


def gradient(size, c1, c2):
    w, h = size
    img = Image.new("RGBA", size)
    px = img.load()
    for y in range(h):
        for x in range(w):
            t = (x / max(1, w - 1) + y / max(1, h - 1)) / 2
            px[x, y] = tuple(int(c1[i] + (c2[i] - c1[i]) * t) for i in range(3)) + (255,)
    return img


def rounded_mask(size, radius):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).rounded_rectangle((0, 0, size[0] - 1, size[1] - 1), radius, fill=255)
    return m


def brand_tile(px):
    """The mark: a rounded gradient tile with misty mountains under a sun."""
    s = 8  # supersample
    big = px * s
    tile = gradient((big, big), ACCENT, ACCENT2)
    d = ImageDraw.Draw(tile)
    d.ellipse((big * 0.58, big * 0.18, big * 0.80, big * 0.40), fill=(255, 224, 130, 255))
    d.polygon([(big * 0.08, big * 0.80), (big * 0.40, big * 0.34), (big * 0.70, big * 0.80)],
              fill=(255, 255, 255, 235))
    d.polygon([(big * 0.38, big * 0.80), (big * 0.64, big * 0.48), (big * 0.94, big * 0.80)],
              fill=(255, 255, 255, 180))
    d.rectangle((big * 0.08, big * 0.80, big * 0.94, big * 0.84), fill=(255, 255, 255, 235))
    out = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    out.paste(tile, (0, 0), rounded_mask((big, big), int(big * 0.22)))
    return out.resize((px, px), Image.LANCZOS)


def write_ico(img, path):
    """One 32x32 32-bit entry in the classic DIB form: 4,286 bytes."""
    w, h = img.size
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = img.getpixel((x, y))
            xor += bytes((b, g, r, a))
    mask_row = ((w + 31) // 32) * 4
    and_mask = bytes(mask_row * h)  # alpha decides; the mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    data = header + bytes(xor) + and_mask
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(data), 6 + 16))
        f.write(data)


def text_center(d, box, text, f, fill):
    l, t, r, b = d.textbbox((0, 0), text, font=f)
    x = box[0] + (box[2] - box[0] - (r - l)) / 2 - l
    y = box[1] + (box[3] - box[1] - (b - t)) / 2 - t
    d.text((x, y), text, font=f, fill=fill)


def logo():
    w, h = 240, 80
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    img.alpha_composite(brand_tile(60), (4, 10))
    d = ImageDraw.Draw(img)
    text_center(d, (72, 0, w, h), "渺岚壁纸", font(36), INK + (255,))
    img.save(os.path.join(OUT, "logo.png"))


def view_selector(name, label, selected):
    w, h = 160, 48
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    if selected:
        d.rounded_rectangle((2, 2, w - 3, h - 3), 22, fill=ACCENT + (255,))
        text_center(d, (0, 0, w, h), label, font(24), (255, 255, 255, 255))
    else:
        text_center(d, (0, 0, w, h), label, font(24), (75, 85, 99, 255))
    img.save(os.path.join(OUT, name + ("_on" if selected else "") + ".png"))


def glyph(name, size, draw):
    s = 4
    big = Image.new("RGBA", (size[0] * 2 * s, size[1] * 2 * s), (0, 0, 0, 0))
    draw(ImageDraw.Draw(big), big.size, s * 2)
    big.resize((size[0] * 2, size[1] * 2), Image.LANCZOS).save(os.path.join(OUT, name + ".png"))


def draw_close(d, size, k):
    w, h = size
    c = (w / 2, h / 2)
    r = 6 * k
    col = (75, 85, 99, 255)
    d.line((c[0] - r, c[1] - r, c[0] + r, c[1] + r), fill=col, width=int(1.6 * k))
    d.line((c[0] - r, c[1] + r, c[0] + r, c[1] - r), fill=col, width=int(1.6 * k))


def draw_minimize(d, size, k):
    w, h = size
    d.line((w / 2 - 7 * k, h / 2, w / 2 + 7 * k, h / 2), fill=(75, 85, 99, 255), width=int(1.6 * k))


def draw_settings(d, size, k):
    w, h = size
    cx, cy = w / 2, h / 2
    col = (75, 85, 99, 255)
    for i in range(8):
        a = i * math.pi / 4
        d.line((cx + math.cos(a) * 4 * k, cy + math.sin(a) * 4 * k,
                cx + math.cos(a) * 8 * k, cy + math.sin(a) * 8 * k), fill=col, width=int(2.6 * k))
    d.ellipse((cx - 6 * k, cy - 6 * k, cx + 6 * k, cy + 6 * k), outline=col, width=int(1.6 * k))
    d.ellipse((cx - 2.4 * k, cy - 2.4 * k, cx + 2.4 * k, cy + 2.4 * k), outline=col, width=int(1.4 * k))


def draw_size(d, size, k):
    w, h = size
    col = MUTED + (255,)
    d.rounded_rectangle((w / 2 - 6 * k, h / 2 - 7 * k, w / 2 + 6 * k, h / 2 + 7 * k), 2 * k, outline=col,
                        width=int(1.4 * k))
    for i in range(3):
        y = h / 2 - 3 * k + i * 3 * k
        d.line((w / 2 - 3 * k, y, w / 2 + 3 * k, y), fill=col, width=int(1.2 * k))


def draw_views(d, size, k):
    w, h = size
    col = MUTED + (255,)
    d.ellipse((w / 2 - 8 * k, h / 2 - 5 * k, w / 2 + 8 * k, h / 2 + 5 * k), outline=col, width=int(1.4 * k))
    d.ellipse((w / 2 - 2.5 * k, h / 2 - 2.5 * k, w / 2 + 2.5 * k, h / 2 + 2.5 * k), fill=col)


def draw_downloads(d, size, k):
    w, h = size
    col = MUTED + (255,)
    d.line((w / 2, h / 2 - 7 * k, w / 2, h / 2 + 3 * k), fill=col, width=int(1.6 * k))
    d.line((w / 2 - 4 * k, h / 2 - 1 * k, w / 2, h / 2 + 3 * k), fill=col, width=int(1.6 * k))
    d.line((w / 2 + 4 * k, h / 2 - 1 * k, w / 2, h / 2 + 3 * k), fill=col, width=int(1.6 * k))
    d.line((w / 2 - 7 * k, h / 2 + 7 * k, w / 2 + 7 * k, h / 2 + 7 * k), fill=col, width=int(1.6 * k))


def use_button():
    """The 60x30 "使用" button placed on every preview."""
    s = 4
    w, h = 60 * s, 30 * s
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((2 * s, 2 * s, w - 2 * s - 1, h - 2 * s - 1), 8 * s, fill=(17, 24, 39, 215))
    text_center(d, (0, 0, w, h), "使用", font(14 * s), (255, 255, 255, 255))
    img.resize((60, 30), Image.LANCZOS).save(os.path.join(OUT, "use_button.png"), optimize=True)


def loading():
    """288x80 animated picture: three pulsing dots and the word 加载中."""
    frames = []
    n = 12
    for i in range(n):
        # Outside its rounded card the picture has the colour of the page it floats on.
        img = Image.new("RGB", (288, 80), (243, 244, 246))
        d = ImageDraw.Draw(img)
        d.rounded_rectangle((0, 0, 287, 79), 14, fill=(255, 255, 255), outline=(229, 231, 235), width=2)
        for j in range(3):
            phase = (i / n - j * 0.18) % 1.0
            grow = max(0.0, math.sin(phase * math.pi))
            r = 5 + 4 * grow
            cx, cy = 70 + j * 26, 40
            col = tuple(int(203 + (ACCENT[c] - 203) * grow) for c in range(3))
            d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=col)
        d.text((148, 27), "加载中…", font=font(20), fill=INK)
        frames.append(img.convert("P", palette=Image.ADAPTIVE, colors=64))
    frames[0].save(os.path.join(OUT, "loading.gif"), save_all=True, append_images=frames[1:], duration=80,
                   loop=0, optimize=False)


def embed_use_button():
    """The button PNG as a C++ byte array, for code that loads it without resources."""
    data = open(os.path.join(OUT, "use_button.png"), "rb").read()
    lines = []
    for i in range(0, len(data), 16):
        lines.append("    " + ", ".join("0x%02X" % b for b in data[i:i + 16]) + ",")
    with open(os.path.join(OUT, "use_button_png.inc"), "w") as f:
        f.write("// Generated by assets/draw_assets.py from use_button.png.\n")
        f.write("\n".join(lines) + "\n")


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico(brand_tile(32), os.path.join(OUT, "icon.ico"))
    brand_tile(64).save(os.path.join(OUT, "brand.png"))
    logo()
    for name, label in (("view_4k", "4K壁纸"), ("view_hd", "超清壁纸"), ("view_dynamic", "动态壁纸")):
        view_selector(name, label, False)
        view_selector(name, label, True)
    glyph("btn_close", (24, 24), draw_close)
    glyph("btn_minimize", (24, 24), draw_minimize)
    glyph("btn_settings", (20, 24), draw_settings)
    glyph("ico_size", (24, 24), draw_size)
    glyph("ico_views", (24, 24), draw_views)
    glyph("ico_downloads", (24, 24), draw_downloads)
    use_button()
    loading()
    embed_use_button()


if __name__ == "__main__":
    main()
