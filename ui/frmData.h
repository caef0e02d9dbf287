#pragma once

#include <QDialog>

enum class AddResult;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMessageBox;
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
    // A key held down acts once: the window and its boxes pass every key
    // event through eventFilter, which lets the keyboard's repeats go by.
    void WatchKeys(QWidget *window);
    bool IsRepeat(const QKeyEvent *event) const;
    int Exec(QMessageBox &box);

    QGroupBox *Frame1;
    QLabel *Label1;
    QLineEdit *txtID;
    QLabel *Label2;
    QLineEdit *txtIncome;
    QLabel *Label3;
    QLineEdit *txtNumPersons;
    QPushButton *cmdNext;
    QPushButton *cmdClose;

    int m_releasedKey = 0;
    quint64 m_releasedAt = 0;
    bool m_shortcutRepeated = false;
};
