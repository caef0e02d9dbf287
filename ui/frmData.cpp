#include "frmData.h"

#include "Households.h"
#include "Twips.h"

#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcutEvent>
#include <QShowEvent>

#include <limits>

namespace {

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, QLineEdit *buddy)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setBuddy(buddy);
    // A screen reader announces the box by the words of its label.
    buddy->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    return label;
}

QLineEdit *MakeTextBox(QWidget *parent, const char *name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    // Left at the default, a longer paste would be cut without a word.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

// The layout was drawn for an 8-point dialog font. Use the platform's face at
// that size, smaller still if a caption would not fit in its place, so no
// label is ever clipped.
void FitFont(QWidget *window, const QList<QLabel *> &labels)
{
    QFont font = window->font();
    for (qreal size = 8; size >= 6; size -= 0.5) {
        font.setPointSizeF(size);
        const QFontMetricsF metrics(font, window);
        bool fits = true;
        for (const QLabel *label : labels)
            fits = fits && metrics.horizontalAdvance(QString(label->text()).remove(QLatin1Char('&'))) <= label->width();
        if (fits)
            break;
    }
    window->setFont(font);
}

// Enter (Next, or a box's answer), Esc (Close, or a box's Cancel) and Space
// on a button: held down, each acts once. Space held in a text box still
// types blanks.
bool Acts(const QObject *watched, int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape
           || (key == Qt::Key_Space && qobject_cast<const QAbstractButton *>(watched));
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    // autoDefault stays on, as a dialog sets it: Enter on a focused Close
    // means Close, not the default Next.
    return button;
}

} // namespace

frmData::frmData(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmData"));
    setWindowTitle(QStringLiteral("Data Entry"));
    setFixedSize(TwipsSize(this, 4500, 2790));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(TwipsRect(this, 240, 120, 3735, 1815));

    txtID = MakeTextBox(Frame1, "txtID");
    txtIncome = MakeTextBox(Frame1, "txtIncome");
    txtNumPersons = MakeTextBox(Frame1, "txtNumPersons");
    Label1 = MakeLabel(Frame1, "Label1", QStringLiteral("ID N&umber"), txtID);
    Label2 = MakeLabel(Frame1, "Label2", QStringLiteral("&Income"), txtIncome);
    Label3 = MakeLabel(Frame1, "Label3", QStringLiteral("&Persons in Household"), txtNumPersons);
    Label1->setGeometry(TwipsRect(this, 960, 360, 915, 255));
    txtID->setGeometry(TwipsRect(this, 2160, 360, 1095, 285));
    Label2->setGeometry(TwipsRect(this, 1080, 840, 795, 255));
    txtIncome->setGeometry(TwipsRect(this, 2160, 840, 1095, 285));
    Label3->setGeometry(TwipsRect(this, 240, 1320, 1635, 255));
    txtNumPersons->setGeometry(TwipsRect(this, 2160, 1320, 1095, 285));

    FitFont(this, {Label1, Label2, Label3});

    cmdNext = MakeButton(this, "cmdNext", QStringLiteral("&Next"));
    cmdNext->setGeometry(TwipsRect(this, 1320, 2160, 1215, 495));
    cmdNext->setDefault(true);
    cmdClose = MakeButton(this, "cmdClose", QStringLiteral("&Close"));
    cmdClose->setGeometry(TwipsRect(this, 2760, 2160, 1215, 495));

    setTabOrder(txtID, txtIncome);
    setTabOrder(txtIncome, txtNumPersons);
    setTabOrder(txtNumPersons, cmdNext);
    setTabOrder(cmdNext, cmdClose);

    connect(cmdNext, &QPushButton::clicked, this, &frmData::cmdNext_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmData::cmdClose_Click);
    WatchKeys(this);
}

void frmData::reject()
{
    cmdClose_Click();
}

bool frmData::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        m_releasedKey = key->key();
        m_releasedAt = key->timestamp();
        break;
    }
    case QEvent::KeyPress: {
        // A held key's repeats would store blank households at the
        // keyboard's repeat rate, or answer a question before it is read.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (Acts(watched, key->key()) && IsRepeat(key))
            return true;
        break;
    }
    case QEvent::ShortcutOverride:
        // Sent just before an access key's Shortcut event, which cannot tell
        // a repeat from a press.
        m_shortcutRepeated = IsRepeat(static_cast<QKeyEvent *>(event));
        break;
    case QEvent::Shortcut:
        // The toolkit presses a button for its access key 100 ms later, and keys
        // typed meanwhile would land first: in the fields of the household being
        // stored, or in an ID that makes Close ask. Press it now instead.
        if ((watched == cmdNext || watched == cmdClose) && !static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
            if (!m_shortcutRepeated)
                static_cast<QPushButton *>(watched)->click();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void frmData::WatchKeys(QWidget *window)
{
    window->installEventFilter(this);
    for (QWidget *widget : window->findChildren<QWidget *>())
        widget->installEventFilter(this);
}

bool frmData::IsRepeat(const QKeyEvent *event) const
{
    // X repeats a held key as a release and a press at the same instant. The
    // toolkit flags the press only if it has already read it when it handles
    // the release, and often it has not. (Made-up events carry no time.)
    return event->isAutoRepeat()
           || (event->timestamp() != 0 && event->timestamp() == m_releasedAt && event->key() == m_releasedKey);
}

int frmData::Exec(QMessageBox &box)
{
    // Enter or Esc still held from bringing the box up must not answer it.
    WatchKeys(&box);
    return box.exec();
}

void frmData::showEvent(QShowEvent *event)
{
    // However the window was last left, typing starts with the ID.
    if (!event->spontaneous())
        txtID->setFocus();
    QDialog::showEvent(event);
}

void frmData::cmdNext_Click()
{
    SaveHousehold();
}

void frmData::cmdClose_Click()
{
    if (!txtID->text().isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Confirm Close"), QStringLiteral("Save current entry?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        box.setDefaultButton(QMessageBox::Yes);
        switch (Exec(box)) {
        case QMessageBox::Yes:
            // A refused household stays on screen rather than being lost.
            if (!SaveHousehold())
                return;
            break;
        case QMessageBox::No:
            break;
        default:
            return;
        }
    }
    QDialog::reject();
}

bool frmData::SaveHousehold()
{
    const AddResult result = AddHousehold(txtID->text().toStdString(), txtIncome->text().toStdString(),
                                          txtNumPersons->text().toStdString());
    if (result != AddResult::Added) {
        ExplainRefusal(result);
        return false;
    }
    txtID->clear();
    txtIncome->clear();
    txtNumPersons->clear();
    txtID->setFocus();
    return true;
}

void frmData::ExplainRefusal(AddResult result)
{
    QString why;
    QLineEdit *atFault = txtID;
    switch (result) {
    case AddResult::TableFull:
        why = QStringLiteral("The survey is full: it holds %1 households, the most it can take.").arg(MaxHouseholds);
        break;
    case AddResult::IncomeOutOfRange:
        why = QStringLiteral("The income is too large to be stored.");
        atFault = txtIncome;
        break;
    case AddResult::TotalOutOfRange:
        why = QStringLiteral("The income would take the survey's total income beyond the largest amount that can be stored.");
        atFault = txtIncome;
        break;
    case AddResult::SizeNotFinite:
        why = QStringLiteral("The number of persons is too large to be stored.");
        atFault = txtNumPersons;
        break;
    case AddResult::Added:
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), why, QMessageBox::Ok, this);
    Exec(box);
    atFault->setFocus();
    atFault->selectAll();
}
