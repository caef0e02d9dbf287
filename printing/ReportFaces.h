#pragma once

// Which face prints which character of a report: DejaVu Sans Mono, with a
// fixed-pitch CJK face and a monochrome emoji face behind it; the program's
// own faces for Thaana and for marks on a dotted circle; and, for a script that no installed face can shape,
// one outlined box a character.

#include <QChar>
#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <array>

// The font text is laid out in: the report font, or, for text with Thaana
// in it, the program's Thaana face before it. The toolkit takes a face for a
// Thaana run only if it shapes Thaana, and the digits, blanks and punctuation
// of that run from the faces after it: so the report's face comes second.
QFont ReportFontFor(const QString &text);

// The report's face draws a mark with no letter beside the dotted circle it
// stands on, over the next column: a dotted circle and its marks are laid out
// in the program's own face for them, which places marks on the circle.
QList<QTextLayout::FormatRange> MarksOnCircles(const QString &text);

// Remembers for one document which scripts some installed face can shape.
class FacelessScripts
{
public:
    // The text with each character of a script no face can shape replaced by
    // an outlined box. Left to the toolkit, such a run would take every
    // digit and blank beside it into the toolkit's face of boxes.
    QString WithBoxes(const QString &text);

private:
    bool Shaped(char32_t c); // by some face, in c's script

    std::array<signed char, QChar::ScriptCount> m_shaped{}; // 0 not asked, 1 yes, -1 no
};
