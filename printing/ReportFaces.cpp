// Which face prints which character of a report, and which scripts print as boxes.

#include "ReportFaces.h"

#include <QByteArray>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QRawFont>
#include <QStringList>

#include <algorithm>
#include <initializer_list>

namespace {

const QString kThaanaFamily = QStringLiteral("Plendrik Thaana");

// An outlined box, in the report's own face.
constexpr char32_t kBox = U'\u25A1';

constexpr char16_t kDottedCircle = u'\u25CC';

QStringList ReportFamilies()
{
    // A colour emoji face would embed in a PDF as blank glyphs, hence Symbola.
    return {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Symbola")};
}

const QString kMarksFamily = QStringLiteral("Plendrik Marks");

// The program's own faces (printing/fonts/), built in: added once, before
// the first report is laid out.
void LoadOwnFaces()
{
    static const bool loaded = [] {
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PlendrikMarks.ttf"));
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PlendrikThaana.ttf"));
        return true;
    }();
    Q_UNUSED(loaded);
}

QFont ReportSized(const QStringList &families)
{
    QFont font(families.front());
    font.setPointSizeF(10.0);
    font.setFamilies(families);
    // If those are missing, any fixed-pitch font keeps the columns.
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

struct OpenTypeScript
{
    QChar::Script script;
    std::initializer_list<const char *> tags; // as a GSUB table names them
};

// The scripts the toolkit lays out only in a face whose GSUB table names
// them; every other script any face with the characters will do.
constexpr OpenTypeScript kOpenTypeScripts[] = {
    {QChar::Script_Syriac, {"syrc"}},
    {QChar::Script_Thaana, {"thaa"}},
    {QChar::Script_Devanagari, {"dev2", "deva"}},
    {QChar::Script_Bengali, {"bng2", "beng"}},
    {QChar::Script_Gurmukhi, {"gur2", "guru"}},
    {QChar::Script_Gujarati, {"gjr2", "gujr"}},
    {QChar::Script_Oriya, {"ory2", "orya"}},
    {QChar::Script_Tamil, {"tml2", "taml"}},
    {QChar::Script_Telugu, {"tel2", "telu"}},
    {QChar::Script_Kannada, {"knd2", "knda"}},
    {QChar::Script_Malayalam, {"mlm2", "mlym"}},
    {QChar::Script_Sinhala, {"sinh"}},
    {QChar::Script_Khmer, {"khmr"}},
    {QChar::Script_Nko, {"nko "}},
};

quint16 Word(const QByteArray &table, qsizetype at)
{
    return at + 2 <= table.size()
               ? static_cast<quint16>(static_cast<quint8>(table[at]) << 8 | static_cast<quint8>(table[at + 1]))
               : 0;
}

// Whether a GSUB table's script list names one of the tags.
bool NamesScript(const QByteArray &gsub, std::initializer_list<const char *> tags)
{
    const qsizetype list = Word(gsub, 4);
    const int count = Word(gsub, list);
    for (int i = 0; i < count; ++i) {
        const qsizetype record = list + 2 + 6 * qsizetype(i);
        if (record + 4 > gsub.size())
            return false;
        const QByteArray tag = gsub.mid(record, 4);
        if (std::any_of(tags.begin(), tags.end(), [&tag](const char *wanted) { return tag == wanted; }))
            return true;
    }
    return false;
}

} // namespace

QFont ReportFontFor(const QString &text)
{
    LoadOwnFaces();
    QStringList families = ReportFamilies();
    // Thaana lies in the Basic Multilingual Plane, U+0780 to U+07BF.
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return QChar::script(c.unicode()) == QChar::Script_Thaana; }))
        families.prepend(kThaanaFamily);
    return ReportSized(families);
}

QList<QTextLayout::FormatRange> MarksOnCircles(const QString &text)
{
    QList<QTextLayout::FormatRange> ranges;
    const qsizetype circle = text.indexOf(kDottedCircle);
    if (circle < 0)
        return ranges;
    LoadOwnFaces();
    const QRawFont marks = QRawFont::fromFont(ReportSized({kMarksFamily}));
    for (qsizetype at = circle; at >= 0 && at < text.size(); at = text.indexOf(kDottedCircle, at)) {
        qsizetype end = at + 1;
        while (end < text.size() && QChar::isMark(text[end].unicode()) && marks.supportsCharacter(text[end]))
            ++end;
        if (end > at + 1) {
            QTextLayout::FormatRange range;
            range.start = static_cast<int>(at);
            range.length = static_cast<int>(end - at);
            range.format.setFont(ReportSized(QStringList{kMarksFamily} + ReportFamilies()));
            ranges << range;
        }
        at = end;
    }
    return ranges;
}

QString FacelessScripts::WithBoxes(const QString &text)
{
    // Every script the toolkit may turn down starts at Syriac, U+0700.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x0700; }))
        return text;
    QString printed;
    printed.reserve(text.size());
    bool changed = false;
    for (char32_t c : text.toUcs4()) {
        const bool boxed = QChar::script(c) > QChar::Script_Common && !Shaped(c)
                           && QChar::category(c) != QChar::Other_Format;
        changed = changed || boxed;
        const char32_t shown = boxed ? kBox : c;
        printed += QString::fromUcs4(&shown, 1);
    }
    return changed ? printed : text;
}

bool FacelessScripts::Shaped(char32_t c)
{
    const auto script = QChar::Script(QChar::script(c));
    signed char &known = m_shaped[script];
    if (known != 0)
        return known > 0;
    const auto *entry = std::find_if(std::begin(kOpenTypeScripts), std::end(kOpenTypeScripts),
                                     [script](const OpenTypeScript &s) { return s.script == script; });
    bool shaped = entry == std::end(kOpenTypeScripts);
    if (!shaped) {
        // Asked of the faces the toolkit takes for the character: one whose
        // GSUB table names the script shapes it, as the toolkit holds.
        const QString character = QString::fromUcs4(&c, 1);
        QTextLayout layout(character, ReportFontFor(character));
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        shaped = std::any_of(runs.cbegin(), runs.cend(), [entry](const QGlyphRun &run) {
            return NamesScript(run.rawFont().fontTable("GSUB"), entry->tags);
        });
    }
    known = shaped ? 1 : -1;
    return shaped;
}
