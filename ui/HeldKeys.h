#pragma once

// A key held down acts once. Every key event the desktop sends passes
// through here as it reaches a window, and this keeps which keys are down: a
// press of a key already down is a repeat (the windowing system says so
// exactly where it can, KeyRepeat.h). While the window served, or one of its
// boxes, is the active modal window, the repeats of a key whose press acted
// there (Enter, Esc, Space on a button, an access key) are dropped. Keys that
// type still repeat: Space held in a text box types blanks.

#include <QObject>
#include <QSet>

#include <optional>

class QKeyEvent;
class QWidget;

class HeldKeys : public QObject
{
public:
    // Watches the whole application's key events on behalf of window.
    explicit HeldKeys(QWidget *window);

    // The window starts afresh: keys pressed before now are none of its
    // business. Where the system does not report key state exactly, a key
    // let go while no window of the program had the keyboard would otherwise
    // count as down still.
    void StartAfresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Whether a key event reaching a window is to be dropped.
    bool Drops(const QKeyEvent *event);
    bool InCharge() const;

    struct Press
    {
        int key;
        bool repeat;
    };
    QWidget *m_window;
    std::optional<Press> m_press; // the press being delivered, from its ShortcutOverride on
    QSet<int> m_down;             // the keys down now
    QSet<int> m_acted;            // those of them whose press acted here
};
