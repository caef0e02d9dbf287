// Stands a combining mark that follows a control character on a dotted circle.

#include "MarksAfterControls.h"

#include <QTextBoundaryFinder>

#include <optional>

namespace {

constexpr char16_t DottedCircle = u'\u25CC';

bool PrintsAsNothing(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString DottedCirclesUnderMarksAfterControls(const QString &text)
{
    QString out;
    std::optional<QTextBoundaryFinder> graphemes; // only for the rare text that needs it
    qsizetype copied = 0;
    char32_t previous = 0;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype start = at;
        char32_t c = text[at++].unicode();
        if (QChar::isHighSurrogate(c) && at < text.size() && text[at].isLowSurrogate())
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), text[at++].unicode());
        // A joiner or a sign set before a number is a format character as
        // well, but the mark after it still belongs to a letter: the text's
        // grapheme rules leave no break there.
        if (start > 0 && QChar::isMark(c) && PrintsAsNothing(previous)) {
            if (!graphemes)
                graphemes.emplace(QTextBoundaryFinder::Grapheme, text);
            graphemes->setPosition(start);
            if (graphemes->isAtBoundary()) {
                out += QStringView(text).mid(copied, start - copied);
                out += DottedCircle;
                copied = start;
            }
        }
        previous = c;
    }
    if (copied == 0)
        return text;
    out += QStringView(text).mid(copied);
    return out;
}
