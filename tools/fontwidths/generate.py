#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes src/pdf/pdffontwidths.h: the WinAnsi width tables (codes 32..255) of the twelve
standard fonts, taken from the metric-compatible AFM files of Debian's fonts-urw-base35.

Run once when the tables must be made again:
    tools/fontwidths/generate.py > src/pdf/pdffontwidths.h
The output is committed; the build never runs this script.
"""

import os
import sys

AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# Base font name -> AFM file with the same metrics.
FONTS = [
    ("Courier", "NimbusMonoPS-Regular"),
    ("Courier-Bold", "NimbusMonoPS-Bold"),
    ("Courier-Oblique", "NimbusMonoPS-Italic"),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic"),
    ("Helvetica", "NimbusSans-Regular"),
    ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-Oblique", "NimbusSans-Italic"),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Times-Roman", "NimbusRoman-Regular"),
    ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-Italic", "NimbusRoman-Italic"),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
]

# Glyph names of the Windows ANSI encoding, codes 32..255. None: no glyph.
ASCII = (
    "space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft parenright "
    "asterisk plus comma hyphen period slash zero one two three four five six seven eight nine "
    "colon semicolon less equal greater question at A B C D E F G H I J K L M N O P Q R S T U V "
    "W X Y Z bracketleft backslash bracketright asciicircum underscore grave a b c d e f g h i j "
    "k l m n o p q r s t u v w x y z braceleft bar braceright asciitilde"
).split()
HIGH = (
    "Euro - quotesinglbase florin quotedblbase ellipsis dagger daggerdbl circumflex perthousand "
    "Scaron guilsinglleft OE - Zcaron - - quoteleft quoteright quotedblleft quotedblright bullet "
    "endash emdash tilde trademark scaron guilsinglright oe - zcaron Ydieresis "
    "- exclamdown cent sterling currency yen brokenbar section dieresis copyright ordfeminine "
    "guillemotleft logicalnot - registered macron degree plusminus twosuperior threesuperior "
    "acute mu paragraph periodcentered cedilla onesuperior ordmasculine guillemotright "
    "onequarter onehalf threequarters questiondown Agrave Aacute Acircumflex Atilde Adieresis "
    "Aring AE Ccedilla Egrave Eacute Ecircumflex Edieresis Igrave Iacute Icircumflex Idieresis "
    "Eth Ntilde Ograve Oacute Ocircumflex Otilde Odieresis multiply Oslash Ugrave Uacute "
    "Ucircumflex Udieresis Yacute Thorn germandbls agrave aacute acircumflex atilde adieresis "
    "aring ae ccedilla egrave eacute ecircumflex edieresis igrave iacute icircumflex idieresis "
    "eth ntilde ograve oacute ocircumflex otilde odieresis divide oslash ugrave uacute "
    "ucircumflex udieresis yacute thorn ydieresis"
).split()
# Code 127 has no glyph; 160 (no-break space) and 173 (soft hyphen) are given no width in
# the proportional fonts, as the other codes without a glyph of their own.
WIN_ANSI = ASCII + [None] + [None if name == "-" else name for name in HIGH]
assert len(WIN_ANSI) == 224, len(WIN_ANSI)


def read_widths(afm_name):
    widths = {}
    with open(os.path.join(AFM_DIR, afm_name + ".afm"), encoding="latin-1") as afm:
        for line in afm:
            if not line.startswith("C "):
                continue
            fields = dict(
                part.strip().split(" ", 1) for part in line.split(";") if part.strip()
            )
            widths[fields["N"]] = int(fields["WX"])
    return widths


def table(afm_name):
    widths = read_widths(afm_name)
    fixed = afm_name.startswith("NimbusMonoPS")
    row = []
    for name in WIN_ANSI:
        if fixed:
            row.append(600)
        elif name is None:
            row.append(0)
        else:
            row.append(widths[name])
    if fixed:
        assert set(widths[n] for n in WIN_ANSI if n) == {600}, afm_name
    return row


# Rows of the standard metrics that the tables must reproduce (codes 32..47, 48..57, 64..79,
# 96..111), as a check that the AFM files are the metric-compatible ones.
KNOWN_ROWS = {
    "Helvetica": {
        32: "278 278 355 556 556 889 667 191 333 333 389 584 278 333 278 278",
        48: "556 556 556 556 556 556 556 556 556 556",
        64: "1015 667 667 722 722 667 611 778 722 278 500 667 556 833 722 778",
        96: "333 556 556 500 556 556 278 556 556 222 222 500 222 833 556 556",
    },
    "Times-Roman": {
        32: "250 333 408 500 500 833 778 180 333 333 500 564 250 333 250 278",
        48: "500 500 500 500 500 500 500 500 500 500",
        64: "921 722 667 667 722 611 556 722 722 333 389 722 611 889 722 722",
        96: "333 444 500 444 500 444 333 500 500 278 278 500 278 778 500 500",
    },
}


def check_known_rows(tables):
    for base, rows in KNOWN_ROWS.items():
        for first, expected in rows.items():
            values = [int(v) for v in expected.split()]
            got = tables[base][first - 32:first - 32 + len(values)]
            assert got == values, f"{base} codes from {first}: {got} != {values}"
    for base, values in tables.items():
        if not base.startswith("Courier"):
            for code in (127, 129, 141, 143, 144, 157, 160, 173):
                assert values[code - 32] == 0, (base, code)


def main():
    tables = {base: table(afm) for base, afm in FONTS}
    check_known_rows(tables)
    # The oblique sans-serif fonts share the upright metrics.
    assert tables["Helvetica"] == tables["Helvetica-Oblique"]
    assert tables["Helvetica-Bold"] == tables["Helvetica-BoldOblique"]
    out = sys.stdout
    out.write("// SPDX-License-Identifier: GPL-3.0-or-later\n#pragma once\n\n")
    out.write("// Generated by tools/fontwidths/generate.py from the AFM files of fonts-urw-base35;\n")
    out.write("// do not edit. Widths of the Windows ANSI codes 32..255 in 1/1000 of the font size.\n\n")
    out.write("#include <array>\n#include <cstdint>\n\nnamespace pdffontwidths {\n\n")
    out.write("// clang-format off\n")
    out.write("using TWidthList = std::array<std::uint16_t, 224>;\n")
    for base, _ in FONTS:
        ident = "k" + base.replace("-", "")
        values = tables[base]
        out.write(f"\n// {base}\ninline constexpr TWidthList {ident} = {{\n")
        for start in range(0, 224, 16):
            chunk = ", ".join(str(v) for v in values[start:start + 16])
            out.write(f"    {chunk}, // {32 + start}..{32 + start + 15}\n")
        out.write("};\n")
    out.write("// clang-format on\n")
    out.write("\n} // namespace pdffontwidths\n")


if __name__ == "__main__":
    main()
