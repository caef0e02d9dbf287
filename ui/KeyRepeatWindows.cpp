#include "KeyRepeat.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QKeyEvent>
#include <qpa/qwindowsysteminterface.h>

#include <optional>
#include <utility>

#include <windows.h>

namespace {

// A key-down message as its window gets it: Windows says in it whether the
// key was already down (bit 30 of lParam, the previous key state), which is
// exact whichever window had the keyboard when the key was let go.
struct KeyDown
{
    quint32 scanCode;
    bool wasDown;
};
std::optional<KeyDown> g_keyDown;

// The toolkit makes its key events from the message and would deliver them
// later, after any further messages already queued; so the message is handed
// to its window here and its events delivered at once, while its bit is known.
class KeyMessages : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "windows_generic_MSG")
            return false;
        MSG *msg = static_cast<MSG *>(message);
        if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)
            return false;
        // A box that the key's own press opened gets messages of its own
        // meanwhile.
        const std::optional<KeyDown> outer = std::exchange(
            g_keyDown, KeyDown{static_cast<quint32>((msg->lParam >> 16) & 0x1ff), (msg->lParam & (1 << 30)) != 0});
        TranslateMessage(msg);
        DispatchMessageW(msg);
        QWindowSystemInterface::flushWindowSystemEvents();
        g_keyDown = outer;
        return true;
    }
};

} // namespace

void WatchKeyRepeat()
{
    static KeyMessages *filter = nullptr;
    if (filter || !QCoreApplication::instance())
        return;
    filter = new KeyMessages;
    QCoreApplication::instance()->installNativeEventFilter(filter);
}

std::optional<bool> IsKeyRepeat(const QKeyEvent *event)
{
    // A release is made up by the toolkit between repeats, which it flags,
    // or is the key's real release.
    if (event->type() == QEvent::KeyRelease)
        return event->isAutoRepeat();
    if (g_keyDown && event->nativeScanCode() == g_keyDown->scanCode)
        return g_keyDown->wasDown;
    return std::nullopt; // not from a key-down message (made up by a test, say)
}
