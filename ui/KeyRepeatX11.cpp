#include "KeyRepeat.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#include <bitset>
#include <cstdlib>

#include <xcb/xcb.h>
// xcb/xkb.h names a struct member "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace {

// A bit of the key event's state that X leaves unused. The toolkit passes the
// state on untouched as the event's native modifiers, so a repeat is marked
// there as the event is read, in X's own order, before the toolkit queues it.
constexpr quint16 kRepeatMark = 0x8000;

xcb_connection_t *Connection()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Which keys are down, from the X events themselves: every press and release
// for the program's windows, and the whole keyboard's state each time one of
// them takes the focus, which also covers releases made while none had it.
class KeyWatcher : public QObject, public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<xcb_generic_event_t *>(message);
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
            if (m_down[press->detail])
                press->state |= kRepeatMark;
            m_down[press->detail] = true;
            break;
        }
        case XCB_KEY_RELEASE:
            m_down[reinterpret_cast<xcb_key_release_event_t *>(event)->detail] = false;
            break;
        case XCB_KEYMAP_NOTIFY: {
            // Keys 8 to 255, one bit each. Only releases are taken from it: a
            // key pressed while another program had the focus acts here once.
            const auto *keymap = reinterpret_cast<xcb_keymap_notify_event_t *>(event);
            for (int key = 8; key < 256; ++key)
                if (!(keymap->keys[key / 8 - 1] & (1 << (key % 8))))
                    m_down[key] = false;
            break;
        }
        default:
            break;
        }
        return false;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PlatformSurface && watched->isWindowType()
            && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                   == QPlatformSurfaceEvent::SurfaceCreated)
            AskForKeymap(static_cast<QWindow *>(watched));
        return false;
    }

    // The window is to report the keyboard's state with its focus.
    static void AskForKeymap(QWindow *window)
    {
        xcb_connection_t *connection = Connection();
        const auto id = static_cast<xcb_window_t>(window->winId());
        xcb_get_window_attributes_reply_t *attributes =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id), nullptr);
        if (!attributes)
            return;
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_KEYMAP_STATE;
        xcb_change_window_attributes(connection, id, XCB_CW_EVENT_MASK, &mask);
        std::free(attributes);
    }

private:
    std::bitset<256> m_down;
};

bool g_watching = false;

} // namespace

void WatchKeyRepeat()
{
    xcb_connection_t *connection = Connection();
    if (g_watching || !connection)
        return; // Wayland's repeats come flagged by the toolkit
    // Without this X repeats a held key as a release and a press, and a button
    // clicks on the release. The toolkit has already set XKB up on its
    // connection; a server without XKB answers with an error.
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    xcb_generic_error_t *error = nullptr;
    xcb_xkb_per_client_flags_reply_t *reply = xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), &error);
    const bool detectable = reply && (reply->value & flag);
    std::free(reply);
    std::free(error);
    if (!detectable)
        return;
    auto *watcher = new KeyWatcher;
    watcher->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installNativeEventFilter(watcher);
    QCoreApplication::instance()->installEventFilter(watcher);
    for (QWindow *window : QGuiApplication::allWindows())
        if (window->handle())
            KeyWatcher::AskForKeymap(window);
    g_watching = true;
}

std::optional<bool> IsKeyRepeat(const QKeyEvent *event)
{
    if (!g_watching)
        return std::nullopt;
    // With detectable repeat X sends no releases between the presses.
    return event->type() != QEvent::KeyRelease && (event->nativeModifiers() & kRepeatMark);
}
