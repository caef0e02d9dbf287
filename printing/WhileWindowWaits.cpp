// Runs a call to the print service off the window's thread, the window
// painting meanwhile under a busy pointer but taking no input.

#include "WhileWindowWaits.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>

#include <memory>
#include <utility>

void WhileWindowWaits(const std::function<void()> &work)
{
    const std::unique_ptr<QThread> thread(QThread::create(work));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    if (QCoreApplication::instance())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
}

void BusyPointer::Show()
{
    if (m_shown || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_shown = true;
}

void BusyPointer::Hide()
{
    if (std::exchange(m_shown, false))
        QGuiApplication::restoreOverrideCursor();
}
