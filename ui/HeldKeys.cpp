#include "HeldKeys.h"

#include "KeyRepeat.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

#include <utility>

namespace {

// Enter (Next, or a box's answer), Esc (Close, or a box's Cancel) and Space
// on a button act on their press. Space held in a text box still types blanks.
bool Acts(const QKeyEvent *event)
{
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape
           || (key == Qt::Key_Space && qobject_cast<const QAbstractButton *>(QApplication::focusWidget()));
}

// The key itself, whatever the modifiers make of it: N let go after Alt is
// still N. Events made up by tests carry no scan code.
int KeyOf(const QKeyEvent *event)
{
    return event->nativeScanCode() != 0 ? static_cast<int>(event->nativeScanCode()) : -event->key();
}

} // namespace

HeldKeys::HeldKeys(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    // Key state is the whole keyboard's: a key let go in another window
    // must be known here too.
    WatchKeyRepeat();
    QCoreApplication::instance()->installEventFilter(this);
}

void HeldKeys::StartAfresh()
{
    m_down.clear();
    m_acted.clear();
    m_press.reset();
}

bool HeldKeys::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // Each key event from the desktop reaches a window once; the window
        // then hands it on among its widgets.
        return watched->isWindowType() && Drops(static_cast<QKeyEvent *>(event));
    case QEvent::Shortcut:
        if (m_press && InCharge()) {
            // An access key acts on its press; its repeats press nothing.
            const Press press = *std::exchange(m_press, std::nullopt);
            if (press.repeat)
                return true;
            m_acted.insert(press.key);
        }
        return false;
    case QEvent::ApplicationDeactivate:
        // Keys let go while another program has the keyboard are never
        // reported here. (A key held meanwhile may act once more.)
        m_down.clear();
        m_press.reset();
        return false;
    default:
        return false;
    }
}

bool HeldKeys::Drops(const QKeyEvent *event)
{
    const int key = KeyOf(event);
    if (event->type() == QEvent::KeyRelease) {
        m_press.reset();
        // A release made up between repeats: the key is still down, and a
        // button would click on it.
        if (IsKeyRepeat(event).value_or(event->isAutoRepeat()))
            return m_acted.contains(key) && InCharge();
        m_down.remove(key);
        m_acted.remove(key);
        return false;
    }
    // ShortcutOverride comes first for every press, before its access key
    // or its KeyPress.
    if (event->type() == QEvent::ShortcutOverride || !m_press || m_press->key != key) {
        // Not the toolkit's own repeat flag: on Windows it keeps a key as down
        // when its release went to no window, and flags the next press.
        const bool repeat = IsKeyRepeat(event).value_or(m_down.contains(key));
        m_down.insert(key);
        if (!repeat)
            m_acted.remove(key);
        m_press = Press{key, repeat};
    }
    if (event->type() == QEvent::ShortcutOverride)
        return false;
    const bool repeat = std::exchange(m_press, std::nullopt)->repeat;
    if (repeat)
        return m_acted.contains(key) && InCharge();
    if (InCharge() && Acts(event))
        m_acted.insert(key);
    return false;
}

bool HeldKeys::InCharge() const
{
    const QWidget *modal = QApplication::activeModalWidget();
    return modal && (modal == m_window || modal->parentWidget() == m_window);
}
