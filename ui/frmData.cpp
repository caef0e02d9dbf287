#include "frmData.h"

#include "Households.h"
#include "KeyRepeat.h"
#include "Twips.h"

#include <QApplication>
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
    // Key state is the whole keyboard's: a key let go in another window
    // must be known here too.
    WatchKeyRepeat();
    QCoreApplication::instance()->installEventFilter(this);
}

void frmData::reject()
{
    cmdClose_Click();
}

bool frmData::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // Each key event from the desktop reaches a window once; the window
        // then hands it on among its widgets.
        if (watched->isWindowType() && HeldKey(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::Shortcut: {
        if (m_press && InCharge()) {
            // An access key acts on its press; its repeats press nothing.
            const Press press = *std::exchange(m_press, std::nullopt);
            if (press.repeat)
                return true;
            m_acted.insert(press.key);
        }
        // The toolkit presses a button for its access key 100 ms later, and keys
        // typed meanwhile would land first: in the fields of the household being
        // stored, or in an ID that makes Close ask. Press it now instead.
        if ((watched == cmdNext || watched == cmdClose) && !static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
            static_cast<QPushButton *>(watched)->click();
            return true;
        }
        break;
    }
    case QEvent::ApplicationDeactivate:
        // Keys let go while another program has the keyboard are never
        // reported here. (A key held meanwhile may act once more.)
        m_down.clear();
        m_press.reset();
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

bool frmData::HeldKey(const QKeyEvent *event)
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

bool frmData::InCharge() const
{
    const QWidget *modal = QApplication::activeModalWidget();
    return modal && (modal == this || modal->parentWidget() == this);
}

void frmData::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        // However the window was last left, typing starts with the ID.
        txtID->setFocus();
        // Keys pressed before it opened are none of its business. Where the
        // system does not report key state exactly, a key let go while no
        // window of the program had the keyboard (it had just closed this
        // one) would otherwise count as down still.
        m_down.clear();
        m_acted.clear();
        m_press.reset();
    }
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
        switch (box.exec()) {
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
    box.exec();
    atFault->setFocus();
    atFault->selectAll();
}
