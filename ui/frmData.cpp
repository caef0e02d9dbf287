#include "frmData.h"

#include "Households.h"
#include "HeldKeys.h"
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
    m_heldKeys = new HeldKeys(this);
    for (QWidget *control : QList<QWidget *>{txtID, txtIncome, txtNumPersons, cmdNext, cmdClose})
        control->installEventFilter(this);
}

void frmData::reject()
{
    cmdClose_Click();
}

bool frmData::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit *>(watched)) {
        // Alt with a letter that no access key took (the main window's
        // Alt+F, say) types nothing, as in any native text box. AltGr comes
        // as Ctrl+Alt on Windows and types its characters.
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers held = key->modifiers();
        if ((held & Qt::AltModifier) && !(held & Qt::ControlModifier) && !key->text().isEmpty()
            && key->text().front().isPrint())
            return true;
    }
    // The toolkit presses a button for its access key 100 ms later, and keys
    // typed meanwhile would land first: in the fields of the household being
    // stored, or in an ID that makes Close ask. Press it now instead. (An
    // access key's repeats never get this far: HeldKeys drops them.)
    if (event->type() == QEvent::Shortcut && (watched == cmdNext || watched == cmdClose)
        && !static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
        static_cast<QPushButton *>(watched)->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmData::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        // However the window was last left, typing starts with the ID.
        txtID->setFocus();
        m_heldKeys->StartAfresh();
    }
    QDialog::showEvent(event);
}

void frmData::cmdNext_Click()
{
    if (const AddResult result = StoreHousehold(); result != AddResult::Added)
        ExplainRefusal(result);
}

void frmData::cmdClose_Click()
{
    if (txtID->text().isEmpty()) {
        QDialog::reject();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Confirm Close"), QStringLiteral("Save current entry?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    // The answer is acted on as it is given, so that this window hides before
    // the box: hidden the other way round, straight after its box, a window
    // manager may hand the keyboard back to this window as it goes, and then
    // to no window at all.
    AddResult stored = AddResult::Added;
    connect(&box, &QMessageBox::buttonClicked, this, [this, &box, &stored](QAbstractButton *button) {
        const QMessageBox::StandardButton answer = box.standardButton(button);
        if (answer == QMessageBox::Yes)
            stored = StoreHousehold();
        // A refused household stays on screen rather than being lost.
        if ((answer == QMessageBox::Yes && stored == AddResult::Added) || answer == QMessageBox::No)
            QDialog::reject();
    });
    box.exec();
    if (stored != AddResult::Added)
        ExplainRefusal(stored);
}

AddResult frmData::StoreHousehold()
{
    const AddResult result = AddHousehold(txtID->text().toStdString(), txtIncome->text().toStdString(),
                                          txtNumPersons->text().toStdString());
    if (result != AddResult::Added)
        return result;
    txtID->clear();
    txtIncome->clear();
    txtNumPersons->clear();
    txtID->setFocus();
    return result;
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
