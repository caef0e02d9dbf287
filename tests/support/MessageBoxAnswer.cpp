#include "MessageBoxAnswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

MessageBoxAnswer::MessageBoxAnswer(Qt::Key key, const QString &title)
{
    Arm(key, QMessageBox::NoButton, title);
}

MessageBoxAnswer::MessageBoxAnswer(QMessageBox::StandardButton button, const QString &title)
{
    Arm(Qt::Key_unknown, button, title);
}

void MessageBoxAnswer::Arm(Qt::Key key, QMessageBox::StandardButton button, const QString &title)
{
    auto seen = m_seen;
    auto *timer = new QTimer(qApp);
    timer->setInterval(5);
    int attempts = 0;
    QObject::connect(timer, &QTimer::timeout, timer, [=]() mutable {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        // Give up after a while so a box that never comes fails the test
        // instead of hanging it.
        if (!box || (!title.isEmpty() && box->windowTitle() != title)) {
            if (++attempts > 1000)
                timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        if (auto *defaultButton = box->defaultButton())
            seen->defaultButton = box->standardButton(defaultButton);
        if (button != QMessageBox::NoButton)
            box->button(button)->click();
        else if (QWidget *focus = QApplication::focusWidget(); focus && box->isAncestorOf(focus))
            QTest::keyClick(focus, key);
        else
            QTest::keyClick(box, key);
    });
    timer->start();
}
