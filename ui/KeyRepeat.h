#pragma once

// Telling a held key's repeats from new presses. A press of a key that is
// already down is a repeat, and the windowing system says exactly which
// keys are down, each platform in its own unit (KeyRepeatX11.cpp,
// KeyRepeatWindows.cpp): so a key release that the program never sees (sent
// to a box closed meanwhile, a window a box blocks, another program) cannot
// leave a key counted as down. Where it cannot (Wayland), the key events
// seen decide.

#include <optional>

class QKeyEvent;

// Once the application object exists: asks the windowing system to report
// held keys exactly, where it can.
void WatchKeyRepeat();

// For a key press or release as it reaches a window: whether it belongs to a
// held key's repeating (a press of a key already down, or a release the
// toolkit makes up between repeats); empty when the windowing system leaves
// that to the key events seen.
std::optional<bool> IsKeyRepeat(const QKeyEvent *event);
