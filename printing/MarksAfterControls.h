#pragma once

#include <QString>

// A control character (a carriage return, a zero-width space, a direction
// control) prints as nothing, yet the shaper takes it as the base of a
// combining mark that follows it; the toolkit then hides that base and draws
// the mark where the letter before it ends. Such a mark has no letter of its
// own: it gets a dotted circle to stand on, as text engines show a mark that
// has none. Everything else comes back unchanged.
QString DottedCirclesUnderMarksAfterControls(const QString &text);
