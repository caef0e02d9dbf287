#pragma once

#include <QDialog>
#include <QSet>

#include <optional>

enum class AddResult;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// The data-entry window: the operator types one household at a time. Next
// stores it and empties the fields; Close hides the window, first offering
// to save a household whose ID has been typed. Hidden, never destroyed, so
// the typed texts survive between showings.
class frmData : public QDialog
{
    Q_OBJECT

public:
    explicit frmData(QWidget *parent = nullptr);

    // Esc and the title bar's close button act like Close.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void cmdNext_Click();
    void cmdClose_Click();
    // Stores the typed household; on a refusal tells the operator why, keeps
    // the texts and puts the cursor in the field at fault.
    bool SaveHousehold();
    void ExplainRefusal(AddResult result);
    // A key held down acts once: every key event the desktop sends to a
    // window passes through HeldKey, which keeps which keys are down. A press
    // of a key already down is a repeat, and while this window or one of its
    // boxes is up, the repeats of a key whose press acted are dropped.
    bool HeldKey(const QKeyEvent *event);
    bool InCharge() const;

    QGroupBox *Frame1;
    QLabel *Label1;
    QLineEdit *txtID;
    QLabel *Label2;
    QLineEdit *txtIncome;
    QLabel *Label3;
    QLineEdit *txtNumPersons;
    QPushButton *cmdNext;
    QPushButton *cmdClose;

    struct Press
    {
        int key;
        bool repeat;
    };
    std::optional<Press> m_press; // the press being delivered, from its ShortcutOverride on
    QSet<int> m_down;             // the keys down now
    QSet<int> m_acted;            // those of them whose press acted here
};
