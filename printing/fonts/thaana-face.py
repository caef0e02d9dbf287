#!/usr/bin/python3
"""Makes the report's face for Thaana from Noto Sans Thaana.

The toolkit lays a script such as Thaana out only in a face whose GSUB table
names it. Noto Sans Thaana places its marks with GPOS and has no GSUB table,
so it is turned down and every Thaana letter prints as a box. This copy adds
a GSUB table that names the script and holds no lookups, so the shaping is
the face's own. Its character map keeps Thaana, the punctuation Dhivehi takes
from Arabic, the dotted circle and the invisible characters, so digits and
other punctuation come from the report's own face, at its columns. It keeps
the blank too, one column wide: the shaper draws invisible characters (a
zero-width space) with the face's blank, and without one it loses the
characters around them. A family name of its own keeps it from shadowing
the installed face.

    thaana-face.py SOURCE.ttf OUTPUT.ttf REPORT-FACE.ttf
"""
import sys

from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables import otTables
from own_name import save_under_own_name

FAMILY = "Plendrik Thaana"

KEPT = {0x0020, 0x060C, 0x061B, 0x061F, 0x25CC} | set(range(0x0780, 0x07C0)) | set(range(0x200B, 0x2010))


def script_only_gsub(tag):
    lang_sys = otTables.LangSys()
    lang_sys.LookupOrder = None
    lang_sys.ReqFeatureIndex = 0xFFFF
    lang_sys.FeatureIndex = []
    lang_sys.FeatureCount = 0
    script = otTables.Script()
    script.DefaultLangSys = lang_sys
    script.LangSysRecord = []
    script.LangSysCount = 0
    record = otTables.ScriptRecord()
    record.ScriptTag = tag
    record.Script = script

    table = otTables.GSUB()
    table.Version = 0x00010000
    table.ScriptList = otTables.ScriptList()
    table.ScriptList.ScriptRecord = [record]
    table.ScriptList.ScriptCount = 1
    table.FeatureList = otTables.FeatureList()
    table.FeatureList.FeatureRecord = []
    table.FeatureList.FeatureCount = 0
    table.LookupList = otTables.LookupList()
    table.LookupList.Lookup = []
    table.LookupList.LookupCount = 0
    gsub = newTable("GSUB")
    gsub.table = table
    return gsub


def main(source, output, report_face):
    face = TTFont(source)
    report = TTFont(report_face)
    column = report["hmtx"][report.getBestCmap()[ord("0")]][0] / report["head"].unitsPerEm
    if "GSUB" in face:
        sys.exit(f"{source} has a GSUB table already: nothing to mend")
    face["GSUB"] = script_only_gsub("thaa")
    for table in face["cmap"].tables:
        table.cmap = {code: glyph for code, glyph in table.cmap.items() if code in KEPT}
    blank = face.getBestCmap()[0x20]
    face["hmtx"][blank] = (round(column * face["head"].unitsPerEm), 0)
    # The signature no longer matches the changed tables.
    if "DSIG" in face:
        del face["DSIG"]
    save_under_own_name(face, FAMILY, output)


if __name__ == "__main__":
    main(*sys.argv[1:])
