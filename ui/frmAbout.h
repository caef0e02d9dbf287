#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About window: the program's name over three dollar signs, and OK.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

protected:
    // There is no cancel button, so Esc does nothing here.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdOK_Click();

    QLabel *Label1;
    QLabel *Label2;
    QFrame *Line1;
    QLabel *Label3;
    QLabel *Label5;
    QLabel *Label4;
    QPushButton *cmdOK;
};
