#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

// Keys go where an operator's keys go: to the widget that has the focus.
namespace Operator {

// When a message box closes, a window manager gives the focus back to the
// window beneath it; the offscreen platform has none, so do it here.
inline QWidget *Focus()
{
    if (!QApplication::activeWindow()) {
        QWidget *window = QApplication::activeModalWidget();
        for (QWidget *candidate : QApplication::topLevelWidgets()) {
            if (!window && candidate->isVisible())
                window = candidate;
        }
        if (window)
            QApplication::setActiveWindow(window);
    }
    QWidget *focus = QApplication::focusWidget();
    return focus ? focus : QApplication::activeWindow();
}

inline void Type(const QString &text)
{
    QTest::keyClicks(Focus(), text);
}

inline void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(Focus(), key, modifiers);
}

// Types the fields of one household in the data-entry window, Tab between
// them, starting in the ID field.
inline void TypeHousehold(const QString &id, const QString &income, const QString &persons)
{
    Type(id);
    Press(Qt::Key_Tab);
    Type(income);
    Press(Qt::Key_Tab);
    Type(persons);
}

// Runs whileShown once a modal window is up, from inside its own event loop,
// then starts open() (which returns when the window is hidden). whileShown
// must hide the window; if it does not, it is hidden here so the test cannot
// hang, and the test fails.
inline void WhileModal(const std::function<void()> &open, const std::function<void(QWidget *)> &whileShown)
{
    bool ran = false;
    auto *poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        ran = true;
        QApplication::setActiveWindow(modal);
        whileShown(modal);
        if (modal->isVisible()) {
            QWARN("the modal window was left open");
            modal->hide();
            ran = false;
        }
    });
    poll->start();
    open();
    delete poll;
    QVERIFY2(ran, "no modal window appeared, or it was left open");
}

// After each window test: nothing the test opened is left on screen.
inline void CheckNoWindowLeftOpen()
{
    for (const QWidget *window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName() + QLatin1Char(' ') + window->windowTitle()));
}

} // namespace Operator
