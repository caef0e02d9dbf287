#pragma once

#include <QDialog>

enum class AddResult;
class HeldKeys;
class QGroupBox;
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
    // Stores the typed household and empties the fields for the next; on a
    // refusal changes nothing and answers why.
    AddResult StoreHousehold();
    // Tells the operator why, and puts the cursor in the field at fault.
    void ExplainRefusal(AddResult result);

    QGroupBox *Frame1;
    QLabel *Label1;
    QLineEdit *txtID;
    QLabel *Label2;
    QLineEdit *txtIncome;
    QLabel *Label3;
    QLineEdit *txtNumPersons;
    QPushButton *cmdNext;
    QPushButton *cmdClose;

    HeldKeys *m_heldKeys;
};
