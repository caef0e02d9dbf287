#include "CapturePrinter.h"
#include "EmptySurvey.h"
#include "MessageBoxAnswer.h"
#include "Operator.h"
#include "PlendrikApplication.h"
#include "frmAnalyze.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace Operator;

class frmAnalyzeTest : public QObject
{
    Q_OBJECT

private:
    CapturePrinter printer;
    std::unique_ptr<frmAnalyze> window;

    QAction *Item(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        StartEmptySurvey();
        printer = CapturePrinter{};
        window = std::make_unique<frmAnalyze>(printer);
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void cleanup()
    {
        window.reset();
        CheckNoWindowLeftOpen();
    }

    void looksAsDesigned();
    void menusInOrder();
    void enterDataShowsTheSameWindowModally();
    void reportsWithoutDataPrintNothing_data();
    void reportsWithoutDataPrintNothing();
    void eachReportIsOneDocument_data();
    void eachReportIsOneDocument();
    void printingTroubleIsTold_data();
    void printingTroubleIsTold();
    void aboutShowsAndEnterHidesIt();
    void exitEndsAtOnceWithoutAQuestion();
    void toolkitOptionsAfterTheNameChangeNothing();
};

void frmAnalyzeTest::looksAsDesigned()
{
    QCOMPARE(window->windowTitle(), "Plendrik");
    const QWidget *client = window->centralWidget();
    QCOMPARE(client->size(),
             QSize(qRound(447 * window->logicalDpiX() / 96.0), qRound(276 * window->logicalDpiY() / 96.0)));
    QVERIFY(client->children().isEmpty());
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(window->height(), client->height() + window->menuBar()->height());
}

void frmAnalyzeTest::menusInOrder()
{
    struct Entry
    {
        QString name, caption;
    };
    const QList<QList<Entry>> expected{
        {{"mnuFile", "&File"}, {"mnuFileEnter", "&Enter Data"}, {"mnuExit", "E&xit"}},
        {{"mnuReport", "&Report"},
         {"mnuReportListingofDataEntered", "Listing of Data &Entered"},
         {"mnuReportAbove", "&Listing of Above Average"},
         {"mnuReportPoverty", "Below &Poverty Level"}},
        {{"mnuHelp", "&Help"}, {"mnuHelpAbout", "&About"}},
    };
    const QList<QAction *> bar = window->menuBar()->actions();
    QCOMPARE(bar.size(), expected.size());
    for (int m = 0; m < bar.size(); ++m) {
        QCOMPARE(bar[m]->objectName(), expected[m][0].name);
        QCOMPARE(bar[m]->text(), expected[m][0].caption);
        const QList<QAction *> items = bar[m]->menu()->actions();
        QCOMPARE(items.size(), expected[m].size() - 1);
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->objectName(), expected[m][i + 1].name);
            QCOMPARE(items[i]->text(), expected[m][i + 1].caption);
            QVERIFY(items[i]->isEnabled());
            QVERIFY(items[i]->shortcut().isEmpty());
        }
    }
}

void frmAnalyzeTest::enterDataShowsTheSameWindowModally()
{
    QWidget *first = nullptr;
    WhileModal([&] { Item("mnuFileEnter")->trigger(); },
               [&](QWidget *modal) {
                   first = modal;
                   QCOMPARE(modal->objectName(), "frmData");
                   QCOMPARE(modal->windowModality(), Qt::ApplicationModal);
                   QCOMPARE(Focus()->objectName(), "txtID");
                   TypeHousehold("1001", "6000", "3");
                   Press(Qt::Key_Return);
                   Type("1002");
                   Press(Qt::Key_Tab);
                   Type("250");
                   MessageBoxAnswer no(QMessageBox::No, "Confirm Close");
                   Press(Qt::Key_Escape);
                   QVERIFY(no.seen().shown);
               });
    QCOMPARE(HouseholdCount, 1);
    QCOMPARE(TotalIncome, Currency{60000000});

    WhileModal([&] { Item("mnuFileEnter")->trigger(); },
               [&](QWidget *modal) {
                   QCOMPARE(modal, first);
                   QCOMPARE(modal->findChild<QLineEdit *>("txtID")->text(), "1002");
                   QCOMPARE(modal->findChild<QLineEdit *>("txtIncome")->text(), "250");
                   MessageBoxAnswer yes(Qt::Key_Return, "Confirm Close");
                   Press(Qt::Key_Escape);
                   QVERIFY(yes.seen().shown);
               });
    QCOMPARE(HouseholdCount, 2);
    QCOMPARE(Households[1].ID, std::string("1002"));
}

void frmAnalyzeTest::reportsWithoutDataPrintNothing_data()
{
    QTest::addColumn<QString>("item");
    QTest::newRow("listing") << "mnuReportListingofDataEntered";
    QTest::newRow("above average") << "mnuReportAbove";
    QTest::newRow("poverty") << "mnuReportPoverty";
}

void frmAnalyzeTest::reportsWithoutDataPrintNothing()
{
    QFETCH(QString, item);
    MessageBoxAnswer ok(Qt::Key_Return);
    Item(qPrintable(item))->trigger();
    QVERIFY(ok.seen().shown);
    QCOMPARE(ok.seen().title, "Error");
    QCOMPARE(ok.seen().text, "No data to summarize");
    QVERIFY(printer.documents.isEmpty());
    QVERIFY(!printer.documentOpen);
}

void frmAnalyzeTest::eachReportIsOneDocument_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("title");
    QTest::newRow("listing") << "mnuReportListingofDataEntered" << "Listing of Data Entered";
    QTest::newRow("above average") << "mnuReportAbove" << "Households Exceeding Average Income";
    QTest::newRow("poverty") << "mnuReportPoverty" << "Poverty Level Summary";
}

void frmAnalyzeTest::eachReportIsOneDocument()
{
    QFETCH(QString, item);
    QFETCH(QString, title);
    AddHousehold("1001", "6000", "3");
    AddHousehold("1002", "9000", "1");
    Item(qPrintable(item))->trigger();
    Item(qPrintable(item))->trigger();
    QCOMPARE(printer.documents.size(), 2);
    QCOMPARE(printer.documents[0].jobName, title);
    QCOMPARE(printer.documents[0].Text().value(2).trimmed(), title);
    QCOMPARE(printer.documents[0].Text(), printer.documents[1].Text());
    QVERIFY(!printer.documentOpen);
}

void frmAnalyzeTest::printingTroubleIsTold_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("spooler refused")
        << int(PrintResult::Status::Failed) << "The report could not be printed because the printer is stopped."
        << "Error" << "The report could not be printed because the printer is stopped.";
    const QString saved = "No printer is set up, so the report was saved as a PDF file:\n/home/op/Documents/x.pdf";
    QTest::newRow("no printer") << int(PrintResult::Status::SavedToFile) << saved << "Report Saved" << saved;
}

void frmAnalyzeTest::printingTroubleIsTold()
{
    QFETCH(int, status);
    QFETCH(QString, detail);
    QFETCH(QString, title);
    QFETCH(QString, message);
    AddHousehold("1", "1", "1");
    printer.result = PrintResult{PrintResult::Status(status), detail, {}};
    MessageBoxAnswer ok(Qt::Key_Return);
    Item("mnuReportPoverty")->trigger();
    QVERIFY(ok.seen().shown);
    QCOMPARE(ok.seen().title, title);
    QCOMPARE(ok.seen().text, message);
    QCOMPARE(HouseholdCount, 1); // nothing entered is lost
}

void frmAnalyzeTest::aboutShowsAndEnterHidesIt()
{
    QWidget *first = nullptr;
    for (int showing = 0; showing < 2; ++showing) {
        WhileModal([&] { Item("mnuHelpAbout")->trigger(); },
                   [&](QWidget *modal) {
                       if (!first)
                           first = modal;
                       QCOMPARE(modal, first);
                       QCOMPARE(modal->objectName(), "frmAbout");
                       QCOMPARE(modal->windowTitle(), "About Plendrik ");
                       QCOMPARE(Focus()->objectName(), "cmdOK");
                       Press(Qt::Key_Escape);
                       QVERIFY(modal->isVisible()); // no cancel button: Esc does nothing
                       Press(Qt::Key_Return);
                       QVERIFY(!modal->isVisible());
                   });
    }
}

void frmAnalyzeTest::exitEndsAtOnceWithoutAQuestion()
{
    AddHousehold("1", "1", "1");
    // Any box that appeared would be a question; note it and close it so
    // the test ends either way.
    bool asked = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &watch, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            asked = true;
            modal->close();
        }
    });
    watch.start(5);
    QTimer::singleShot(0, Item("mnuExit"), &QAction::trigger);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!asked);
}

// main below starts the toolkit the program's way, with these typed after
// the program's name.
void frmAnalyzeTest::toolkitOptionsAfterTheNameChangeNothing()
{
    QCOMPARE(window->windowHandle()->title(), "Plendrik");
    QCOMPARE(window->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(qApp->styleSheet(), QString());
    QVERIFY(QApplication::style()->name() != "windows");
    QCOMPARE(QGuiApplication::platformName(), qEnvironmentVariable("QT_QPA_PLATFORM"));
}

int main(int argc, char *argv[])
{
    QTemporaryDir folder;
    const QByteArray sheet = QFile::encodeName(folder.filePath("red.qss"));
    QFile red(sheet);
    if (!red.open(QIODevice::WriteOnly) || red.write("* { color: red; }") <= 0)
        return 1;
    red.close();
    QByteArrayList typed{argv[0],  "-qwindowtitle", "Elsewhere", "-stylesheet", sheet, "-reverse",
                         "-style", "windows",       "-platform", "minimal"};
    std::vector<char *> typedArgv;
    for (QByteArray &argument : typed)
        typedArgv.push_back(argument.data());
    typedArgv.push_back(nullptr);
    PlendrikApplication app(int(typed.size()), typedArgv.data());
    app.setAttribute(Qt::AA_Use96Dpi, true);
    frmAnalyzeTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "frmAnalyzeTest.moc"
