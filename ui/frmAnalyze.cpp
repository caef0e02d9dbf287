#include "frmAnalyze.h"

#include "Reports.h"
#include "Twips.h"
#include "frmAbout.h"
#include "frmData.h"

#include <QApplication>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QWindow>

namespace {

QMenu *AddMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

QAction *AddItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    return item;
}

} // namespace

frmAnalyze::frmAnalyze(Printer &printer, QWidget *parent)
    : QMainWindow(parent)
    , m_printer(printer)
{
    setObjectName(QStringLiteral("frmAnalyze"));
    setWindowTitle(QStringLiteral("Plendrik"));

    auto *clientArea = new QWidget(this);
    clientArea->setObjectName(QStringLiteral("clientArea"));
    clientArea->setFixedSize(TwipsSize(this, 6705, 4140));
    setCentralWidget(clientArea);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    mnuFile = AddMenu(menuBar(), "mnuFile", QStringLiteral("&File"));
    mnuFileEnter = AddItem(mnuFile, "mnuFileEnter", QStringLiteral("&Enter Data"));
    mnuExit = AddItem(mnuFile, "mnuExit", QStringLiteral("E&xit"));
    mnuReport = AddMenu(menuBar(), "mnuReport", QStringLiteral("&Report"));
    mnuReportListingofDataEntered =
        AddItem(mnuReport, "mnuReportListingofDataEntered", QStringLiteral("Listing of Data &Entered"));
    mnuReportAbove = AddItem(mnuReport, "mnuReportAbove", QStringLiteral("&Listing of Above Average"));
    mnuReportPoverty = AddItem(mnuReport, "mnuReportPoverty", QStringLiteral("Below &Poverty Level"));
    mnuHelp = AddMenu(menuBar(), "mnuHelp", QStringLiteral("&Help"));
    mnuHelpAbout = AddItem(mnuHelp, "mnuHelpAbout", QStringLiteral("&About"));

    connect(mnuFileEnter, &QAction::triggered, this, &frmAnalyze::mnuFileEnter_Click);
    connect(mnuExit, &QAction::triggered, this, &frmAnalyze::mnuExit_Click);
    connect(mnuReportListingofDataEntered, &QAction::triggered, this,
            &frmAnalyze::mnuReportListingofDataEntered_Click);
    connect(mnuReportAbove, &QAction::triggered, this, &frmAnalyze::mnuReportAbove_Click);
    connect(mnuReportPoverty, &QAction::triggered, this, &frmAnalyze::mnuReportPoverty_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmAnalyze::mnuHelpAbout_Click);
}

frmAnalyze::~frmAnalyze() = default;

void frmAnalyze::mnuFileEnter_Click()
{
    if (!m_frmData)
        m_frmData = std::make_unique<frmData>();
    m_frmData->exec();
    TakeBackKeyboard();
}

void frmAnalyze::mnuExit_Click()
{
    // Leave the event loop directly: no window is asked whether it may close.
    QCoreApplication::exit(0);
}

void frmAnalyze::mnuReportListingofDataEntered_Click()
{
    if (const auto result = PrintDataListing(m_printer, this))
        TellPrintResult(*result);
}

void frmAnalyze::mnuReportAbove_Click()
{
    if (const auto result = PrintAboveAverage(m_printer, this))
        TellPrintResult(*result);
}

void frmAnalyze::mnuReportPoverty_Click()
{
    if (const auto result = PrintPovertySummary(m_printer, this))
        TellPrintResult(*result);
}

void frmAnalyze::mnuHelpAbout_Click()
{
    if (!m_frmAbout)
        m_frmAbout = std::make_unique<frmAbout>();
    m_frmAbout->exec();
    TakeBackKeyboard();
}

void frmAnalyze::TakeBackKeyboard()
{
    // The window just hidden had no owner, so Windows gives the keyboard to
    // no window of the program; the operator's next keys must reach this one.
    // (The toolkit may count it active still, so ask the system directly.)
    if (QWindow *window = windowHandle())
        window->requestActivate();
}

void frmAnalyze::TellPrintResult(const PrintResult &result)
{
    QString title;
    switch (result.status) {
    case PrintResult::Status::Printed:
        return;
    case PrintResult::Status::SavedToFile:
        title = QStringLiteral("Report Saved");
        break;
    case PrintResult::Status::Unconfirmed:
        title = QStringLiteral("Report Not Confirmed");
        break;
    case PrintResult::Status::Cancelled:
        title = QStringLiteral("Report Not Printed");
        break;
    case PrintResult::Status::Failed:
        title = QStringLiteral("Error");
        break;
    }
    QMessageBox box(QMessageBox::NoIcon, title, result.detail, QMessageBox::Ok, this);
    box.exec();
}
