#!/usr/bin/python3
"""Makes the report's face for marks on a dotted circle, from Noto Sans.

A combining mark with no letter of its own prints on a dotted circle
(U+25CC). The report's face, DejaVu Sans Mono, attaches marks to letters
only: a mark after its circle is drawn over the next column, on whatever
letter stands there. Noto Sans places its marks on the circle with its own
positioning table. This copy holds just the circle and the combining marks,
with their tables, under a family name of its own.

    marks-face.py SOURCE.ttf OUTPUT.ttf
"""
import sys

from fontTools import subset
from fontTools.ttLib import TTFont
from own_name import save_under_own_name

FAMILY = "Plendrik Marks"

CHARACTERS = [0x25CC] + [
    code
    for first, last in ((0x0300, 0x036F), (0x1AB0, 0x1AFF), (0x1DC0, 0x1DFF), (0x20D0, 0x20FF), (0xFE20, 0xFE2F))
    for code in range(first, last + 1)
]


def main(source, output):
    face = TTFont(source)
    options = subset.Options()
    options.layout_features = ["*"]
    options.name_IDs = ["*"]
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=CHARACTERS)
    subsetter.subset(face)
    save_under_own_name(face, FAMILY, output)


if __name__ == "__main__":
    main(*sys.argv[1:])
