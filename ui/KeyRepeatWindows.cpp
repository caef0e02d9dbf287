#include "KeyRepeat.h"

#include <QKeyEvent>

void WatchKeyRepeat() {}

// Windows hands every key release to a window of the thread that has the
// focus, so the key events seen tell which keys are down; the toolkit flags
// the releases it makes up between repeats.
std::optional<bool> IsKeyRepeat(const QKeyEvent *)
{
    return std::nullopt;
}
