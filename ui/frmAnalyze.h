#pragma once

#include <QMainWindow>

#include <memory>

class Printer;
class QAction;
class QMenu;
class frmAbout;
class frmData;
struct PrintResult;

// The main window: nothing but the menu bar through which every function of
// the program is reached. It creates the data-entry and About windows on
// first use and shows them modally; reports go to the printer it is given.
class frmAnalyze : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmAnalyze(Printer &printer, QWidget *parent = nullptr);
    ~frmAnalyze() override;

private:
    void mnuFileEnter_Click();
    void mnuExit_Click();
    void mnuReportListingofDataEntered_Click();
    void mnuReportAbove_Click();
    void mnuReportPoverty_Click();
    void mnuHelpAbout_Click();
    void TellPrintResult(const PrintResult &result);
    void TakeBackKeyboard();

    Printer &m_printer;
    std::unique_ptr<frmData> m_frmData;
    std::unique_ptr<frmAbout> m_frmAbout;

    QMenu *mnuFile;
    QAction *mnuFileEnter;
    QAction *mnuExit;
    QMenu *mnuReport;
    QAction *mnuReportListingofDataEntered;
    QAction *mnuReportAbove;
    QAction *mnuReportPoverty;
    QMenu *mnuHelp;
    QAction *mnuHelpAbout;
};
