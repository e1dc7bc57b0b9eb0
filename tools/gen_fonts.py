#!/usr/bin/env python3
"""Generates model/fonts.cpp, the three bitmap fonts of the display preview.

The drawings come from Terminus Font (SIL Open Font License 1.1, see
third_party/terminus/OFL.txt), as Debian's console-setup-linux ships it in PSF
form under /usr/share/consolefonts:

  SmallFont   8 x 16, 160 glyphs   from Uni2-Terminus16.psf.gz, copied as is
  MediumFont 16 x 32, 160 glyphs   from Uni2-Terminus32x16.psf.gz, copied as is
  DigitFont  24 x 48,  16 glyphs   from Uni2-Terminus32x16.psf.gz scaled by 1.5
                                   in both directions, nearest neighbour:
                                   target pixel (x, y) takes source pixel
                                   (x * 2 // 3, y * 2 // 3); the 2-pixel strokes
                                   become 3 pixels wide and the digits end 9 rows
                                   above the cell's bottom, clear of the caption
                                   band that covers the last 6 rows of a cell.

Glyph order of the text fonts: 0..95 are the characters 0x20..0x7F, 96..159 the
code-page-1251 characters 0xC0..0xFF (U+0410..U+044F). 0x7F (DEL) has no glyph
in Terminus and stays blank. DigitFont: blank, "+", "-", ".", ":", "0".."9", "T".

Layout: rows top first, width / 8 bytes per row, most significant bit leftmost,
set bit = ink.

Usage: tools/gen_fonts.py [FONT_DIR] > model/fonts.cpp
The output is committed; the build does not run this script.
"""
import gzip
import os
import struct
import sys


def load_psf(path):
    """Returns (width, height, glyph bitmaps as lists of row integers, {code point: glyph})."""
    data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
    if data[:2] == b"\x36\x04":  # PSF1: always 8 pixels wide
        mode, charsize = data[2], data[3]
        count = 512 if mode & 1 else 256
        width, height, offset = 8, charsize, 4
        pos = offset + count * charsize
        unicode_map = {}
        if mode & 6:
            glyph, in_sequence = 0, False
            while glyph < count:
                (u,) = struct.unpack_from("<H", data, pos)
                pos += 2
                if u == 0xFFFF:
                    glyph, in_sequence = glyph + 1, False
                elif u == 0xFFFE:
                    in_sequence = True
                elif not in_sequence:
                    unicode_map.setdefault(u, glyph)
    elif data[:4] == b"\x72\xb5\x4a\x86":  # PSF2
        _, offset, flags, count, charsize, height, width = struct.unpack_from("<7I", data, 4)
        pos = offset + count * charsize
        unicode_map = {}
        if flags & 1:
            entries = data[pos:].split(b"\xff")[:count]
            for glyph, entry in enumerate(entries):
                for ch in entry.split(b"\xfe")[0].decode("utf-8"):
                    unicode_map.setdefault(ord(ch), glyph)
    else:
        raise SystemExit("%s: not a PSF font" % path)
    row_bytes = (width + 7) // 8
    glyphs = []
    for g in range(count):
        raw = data[offset + g * charsize: offset + (g + 1) * charsize]
        rows = []
        for r in range(height):
            bits = int.from_bytes(raw[r * row_bytes:(r + 1) * row_bytes], "big")
            rows.append(bits >> (row_bytes * 8 - width))  # drop the row padding
        glyphs.append(rows)
    return width, height, glyphs, unicode_map


def glyph_rows(font, code_point):
    width, height, glyphs, unicode_map = font
    if code_point not in unicode_map:
        return [0] * height
    return glyphs[unicode_map[code_point]]


def scale(rows, src_w, src_h, dst_w, dst_h):
    out = []
    for y in range(dst_h):
        src = rows[y * src_h // dst_h]
        row = 0
        for x in range(dst_w):
            bit = (src >> (src_w - 1 - x * src_w // dst_w)) & 1
            row = (row << 1) | bit
        out.append(row)
    return out


def to_bytes(rows, width):
    return b"".join(r.to_bytes(width // 8, "big") for r in rows)


TEXT_CODES = [(c, c) for c in range(0x20, 0x80)] + [(c, 0x410 + c - 0xC0) for c in range(0xC0, 0x100)]
DIGIT_CHARS = " +-.:0123456789T"


def text_font(font, width, height):
    assert font[0] == width and font[1] == height, "unexpected cell size"
    glyphs, notes = [], []
    for code, code_point in TEXT_CODES:
        glyphs.append(to_bytes(glyph_rows(font, code_point), width))
        notes.append("0x%02X U+%04X" % (code, code_point))
    return glyphs, notes


def digit_font(font):
    assert font[0] == 16 and font[1] == 32, "unexpected cell size"
    glyphs, notes = [], []
    for ch in DIGIT_CHARS:
        glyphs.append(to_bytes(scale(glyph_rows(font, ord(ch)), 16, 32, 24, 48), 24))
        notes.append("blank" if ch == " " else "'%s'" % ch)
    assert glyphs[0] == bytes(len(glyphs[0])), "glyph 0 must be blank"
    return glyphs, notes


def emit(out, name, glyphs, notes):
    size = sum(len(g) for g in glyphs)
    out.append("const std::array<uint8_t, %d> %s = {" % (size, name))
    for index, (glyph, note) in enumerate(zip(glyphs, notes)):
        out.append("    // %d: %s" % (index, note))
        for i in range(0, len(glyph), 16):
            out.append("    " + ", ".join("0x%02X" % b for b in glyph[i:i + 16]) + ",")
    out.append("};")
    out.append("")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/consolefonts"
    small = load_psf(os.path.join(folder, "Uni2-Terminus16.psf.gz"))
    medium = load_psf(os.path.join(folder, "Uni2-Terminus32x16.psf.gz"))
    out = [
        "// Generated by tools/gen_fonts.py from Terminus Font (SIL Open Font License 1.1,",
        "// third_party/terminus/OFL.txt). Regenerate rather than edit.",
        '#include "model/fonts.h"',
        "",
        "// clang-format off",
    ]
    emit(out, "kSmallFontGlyphs", *text_font(small, 8, 16))
    emit(out, "kMediumFontGlyphs", *text_font(medium, 16, 32))
    emit(out, "kDigitFontGlyphs", *digit_font(medium))
    out.append("// clang-format on")
    out.append("")
    sys.stdout.write("\n".join(out))


if __name__ == "__main__":
    main()
