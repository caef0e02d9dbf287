#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>

// Answers the next modal message box that appears, as an operator would,
// and remembers what it showed. Arm it before the action that opens the box.
class MessageBoxAnswer
{
public:
    struct Seen
    {
        bool shown = false;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    // Presses key (Qt::Key_Return, Qt::Key_Escape, ...) in the box, or clicks
    // the given button when one is named. With a title, only a box with that
    // title is answered.
    explicit MessageBoxAnswer(Qt::Key key, const QString &title = {});
    explicit MessageBoxAnswer(QMessageBox::StandardButton button, const QString &title = {});

    const Seen &seen() const { return *m_seen; }

private:
    void Arm(Qt::Key key, QMessageBox::StandardButton button, const QString &title);
    std::shared_ptr<Seen> m_seen = std::make_shared<Seen>();
};
