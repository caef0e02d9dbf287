#include "EmptySurvey.h"
#include "MessageBoxAnswer.h"
#include "Operator.h"
#include "frmData.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace Operator;

class frmDataTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmData> form;

    QLineEdit *Box(const char *name) { return form->findChild<QLineEdit *>(QLatin1String(name)); }
    QString Text(const char *name) { return Box(name)->text(); }
    QString FocusName() { return Focus() ? Focus()->objectName() : QString(); }
    void FillIn(const QString &id, const QString &income, const QString &persons)
    {
        Box("txtID")->setText(id);
        Box("txtIncome")->setText(income);
        Box("txtNumPersons")->setText(persons);
    }
    void Show()
    {
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

private Q_SLOTS:
    void init()
    {
        StartEmptySurvey();
        form = std::make_unique<frmData>();
        Show();
    }
    void cleanup()
    {
        form.reset();
        CheckNoWindowLeftOpen();
    }

    void looksAsDesigned();
    void typeTabEnterStoresAndStartsAgain();
    void enterPressesNextFromAnyField();
    void tabVisitsFieldsThenButtons();
    void accessKeysReachTheirFields();
    void pasteIsStoredWhole_data();
    void pasteIsStoredWhole();
    void escapeWithEmptyIdHidesAtOnce();
    void closeWithOnlyIncomeKeepsTheText();
    void closeWithIdAsks_data();
    void closeWithIdAsks();
    void refusalKeepsTheTextsAndPointsAtTheField_data();
    void refusalKeepsTheTextsAndPointsAtTheField();
    void refusedDuringCloseKeepsTheWindow();
    void titleBarCloseActsLikeClose();
};

void frmDataTest::looksAsDesigned()
{
    QCOMPARE(form->windowTitle(), "Data Entry");
    const double scale = form->logicalDpiX() / 96.0;
    QCOMPARE(form->size(), QSize(qRound(300 * scale), qRound(186 * form->logicalDpiY() / 96.0)));
    QCOMPARE(form->minimumSize(), form->maximumSize());

    const char *labels[] = {"Label1", "Label2", "Label3"};
    const char *boxes[] = {"txtID", "txtIncome", "txtNumPersons"};
    const QString captions[] = {"ID N&umber", "&Income", "&Persons in Household"};
    const QString accessible[] = {"ID Number", "Income", "Persons in Household"};
    const int right = form->findChild<QLabel *>("Label1")->geometry().right();
    for (int i = 0; i < 3; ++i) {
        auto *label = form->findChild<QLabel *>(labels[i]);
        QCOMPARE(label->text(), captions[i]);
        QVERIFY(label->alignment() & Qt::AlignRight);
        QCOMPARE(label->geometry().right(), right);
        QCOMPARE(label->buddy(), Box(boxes[i]));
        QVERIFY2(label->fontMetrics().horizontalAdvance(accessible[i]) <= label->width(), "caption clipped");
        QCOMPARE(Box(boxes[i])->geometry().left() - (right + 1), qRound(19 * scale));
        QCOMPARE(Box(boxes[i])->accessibleName(), accessible[i]);
        QVERIFY(Box(boxes[i])->text().isEmpty());
    }
    auto *next = form->findChild<QPushButton *>("cmdNext");
    auto *close = form->findChild<QPushButton *>("cmdClose");
    QCOMPARE(next->text(), "&Next");
    QCOMPARE(close->text(), "&Close");
    QVERIFY(next->isDefault());
    QVERIFY(!close->isDefault());
    QCOMPARE(FocusName(), "txtID");
}

void frmDataTest::typeTabEnterStoresAndStartsAgain()
{
    TypeHousehold("1001", "6000", "3");
    Press(Qt::Key_Return);

    QCOMPARE(HouseholdCount, 1);
    QCOMPARE(Households[0].ID, std::string("1001"));
    QCOMPARE(Households[0].Income, 6000.0);
    QCOMPARE(Households[0].NumPersons, 3.0);
    QCOMPARE(TotalIncome, Currency{60000000});
    QVERIFY(Text("txtID").isEmpty() && Text("txtIncome").isEmpty() && Text("txtNumPersons").isEmpty());
    QCOMPARE(FocusName(), "txtID");
    QVERIFY(form->isVisible());

    // Stored exactly as typed, however odd.
    Type("  7 ");
    Press(Qt::Key_Tab);
    Type("1,000");
    Press(Qt::Key_Return);
    QCOMPARE(HouseholdCount, 2);
    QCOMPARE(Households[1].ID, std::string("  7 "));
    QCOMPARE(Households[1].Income, 1.0);
    QCOMPARE(Households[1].NumPersons, 0.0);
}

void frmDataTest::enterPressesNextFromAnyField()
{
    for (const char *field : {"txtID", "txtIncome", "txtNumPersons"}) {
        Box(field)->setFocus();
        Press(Qt::Key_Enter);
    }
    QCOMPARE(HouseholdCount, 3);
    QCOMPARE(Households[2].ID, std::string());
}

void frmDataTest::tabVisitsFieldsThenButtons()
{
    const QStringList expected{"txtIncome", "txtNumPersons", "cmdNext", "cmdClose", "txtID"};
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        Press(Qt::Key_Tab);
        visited << FocusName();
    }
    QCOMPARE(visited, expected);
}

void frmDataTest::accessKeysReachTheirFields()
{
    Press(Qt::Key_P, Qt::AltModifier);
    QCOMPARE(FocusName(), "txtNumPersons");
    Press(Qt::Key_I, Qt::AltModifier);
    QCOMPARE(FocusName(), "txtIncome");
    Press(Qt::Key_U, Qt::AltModifier);
    QCOMPARE(FocusName(), "txtID");

    Type("42");
    // Alt with a letter no access key takes (the main window's menus, say) types nothing.
    for (const Qt::Key letter : {Qt::Key_H, Qt::Key_R, Qt::Key_X, Qt::Key_F})
        Press(letter, Qt::AltModifier);
    // A button's access key presses it before the next key typed is handled.
    Press(Qt::Key_N, Qt::AltModifier);
    Type("7");
    QCOMPARE(HouseholdCount, 1);
    QCOMPARE(Households[0].ID, std::string("42"));
    QCOMPARE(Text("txtID"), "7");

    Box("txtID")->clear();
    Press(Qt::Key_C, Qt::AltModifier);
    QVERIFY(!form->isVisible());
}

void frmDataTest::pasteIsStoredWhole_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("id");
    QTest::addColumn<double>("income");
    QTest::addColumn<double>("persons");

    // Longer than the 32,767 characters a text box keeps by default.
    QString longId = QString("0123456789").repeated(9999) + "ABCDEFGHIJ";
    QTest::newRow("an ID of 100,000 characters") << "txtID" << longId << longId << 0.0 << 0.0;
    QTest::newRow("an income behind 40,000 blanks")
        << "txtIncome" << QString(40000, ' ') + "5000" << "" << 5000.0 << 0.0;
    QTest::newRow("a size behind 40,000 blanks") << "txtNumPersons" << QString(40000, ' ') + "4" << "" << 0.0 << 4.0;
}

void frmDataTest::pasteIsStoredWhole()
{
    QFETCH(QString, field);
    QFETCH(QString, pasted);
    QFETCH(QString, id);
    QFETCH(double, income);
    QFETCH(double, persons);

    QApplication::clipboard()->setText(pasted);
    Box(qPrintable(field))->setFocus();
    Press(Qt::Key_V, Qt::ControlModifier);
    Press(Qt::Key_Return);

    QCOMPARE(HouseholdCount, 1);
    QCOMPARE(Households[0].ID.size(), std::size_t(id.size()));
    QVERIFY(Households[0].ID == id.toStdString());
    QCOMPARE(Households[0].Income, income);
    QCOMPARE(Households[0].NumPersons, persons);
    Press(Qt::Key_Escape);
}

void frmDataTest::escapeWithEmptyIdHidesAtOnce()
{
    Press(Qt::Key_Escape);
    QVERIFY(!form->isVisible());
    QCOMPARE(HouseholdCount, 0);
}

void frmDataTest::closeWithOnlyIncomeKeepsTheText()
{
    FillIn("", "5000", "2");
    QTest::mouseClick(form->findChild<QPushButton *>("cmdClose"), Qt::LeftButton);
    QVERIFY(!form->isVisible());
    QCOMPARE(HouseholdCount, 0);
    Show();
    QCOMPARE(Text("txtIncome"), "5000");
    QCOMPARE(Text("txtNumPersons"), "2");
    Press(Qt::Key_Escape);
}

void frmDataTest::closeWithIdAsks_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("answer"); // a key, or a button when negative
    QTest::addColumn<bool>("stays");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("idAfter");

    QTest::newRow("Cancel keeps everything") << "1001" << -int(QMessageBox::Cancel) << true << 0 << "1001";
    QTest::newRow("Esc in the box is Cancel") << "1001" << int(Qt::Key_Escape) << true << 0 << "1001";
    QTest::newRow("No hides and keeps the texts") << "1001" << -int(QMessageBox::No) << false << 0 << "1001";
    QTest::newRow("Yes stores and hides") << "1001" << -int(QMessageBox::Yes) << false << 1 << "";
    QTest::newRow("Enter takes the default, Yes") << "1001" << int(Qt::Key_Return) << false << 1 << "";
    QTest::newRow("a single blank is an ID") << " " << -int(QMessageBox::Yes) << false << 1 << "";
}

void frmDataTest::closeWithIdAsks()
{
    QFETCH(QString, id);
    QFETCH(int, answer);
    QFETCH(bool, stays);
    QFETCH(int, stored);
    QFETCH(QString, idAfter);

    FillIn(id, "6000", "3");
    const auto reply = answer < 0 ? MessageBoxAnswer(QMessageBox::StandardButton(-answer))
                                  : MessageBoxAnswer(Qt::Key(answer));
    Press(Qt::Key_Escape);

    QVERIFY(reply.seen().shown);
    QCOMPARE(reply.seen().title, "Confirm Close");
    QCOMPARE(reply.seen().text, "Save current entry?");
    QCOMPARE(reply.seen().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(reply.seen().defaultButton, QMessageBox::Yes);
    QCOMPARE(reply.seen().icon, QMessageBox::NoIcon);

    QCOMPARE(form->isVisible(), stays);
    QCOMPARE(int(HouseholdCount), stored);
    if (stored)
        QCOMPARE(QString::fromStdString(Households[0].ID), id);
    if (!stays)
        Show();
    QCOMPARE(Text("txtID"), idAfter);
    QCOMPARE(Text("txtIncome"), idAfter.isEmpty() ? QString() : QString("6000"));
    QCOMPARE(Text("txtNumPersons"), idAfter.isEmpty() ? QString() : QString("3"));
    Box("txtID")->clear();
    Press(Qt::Key_Escape);
}

void frmDataTest::refusalKeepsTheTextsAndPointsAtTheField_data()
{
    QTest::addColumn<int>("alreadyStored");
    QTest::addColumn<QString>("income");
    QTest::addColumn<QString>("persons");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");

    QTest::newRow("full at 41") << 41 << "10" << "1"
                                << "The survey is full: it holds 41 households, the most it can take." << "txtID";
    QTest::newRow("income beyond Currency") << 0 << "1E15" << "1" << "The income is too large to be stored."
                                            << "txtIncome";
    QTest::newRow("income beyond a double") << 0 << "1E400" << "1" << "The income is too large to be stored."
                                            << "txtIncome";
    QTest::newRow("total would overflow")
        << 0 << "900000000000000" << "1"
        << "The income would take the survey's total income beyond the largest amount that can be stored."
        << "txtIncome";
    QTest::newRow("size beyond a double") << 0 << "5" << "1E400" << "The number of persons is too large to be stored."
                                          << "txtNumPersons";
}

void frmDataTest::refusalKeepsTheTextsAndPointsAtTheField()
{
    QFETCH(int, alreadyStored);
    QFETCH(QString, income);
    QFETCH(QString, persons);
    QFETCH(QString, message);
    QFETCH(QString, field);

    for (int i = 0; i < alreadyStored; ++i)
        AddHousehold("x", "10", "1");
    if (field == "txtIncome" && income.startsWith("9"))
        AddHousehold("big", "900000000000000", "1");
    const int countBefore = HouseholdCount;
    const auto totalBefore = TotalIncome;

    FillIn("9999", income, persons);
    MessageBoxAnswer reply(Qt::Key_Return);
    Press(Qt::Key_Return);

    QVERIFY(reply.seen().shown);
    QCOMPARE(reply.seen().title, "Error");
    QCOMPARE(reply.seen().text, message);
    QCOMPARE(reply.seen().buttons, QMessageBox::Ok);
    QCOMPARE(int(HouseholdCount), countBefore);
    QCOMPARE(TotalIncome, totalBefore);
    QCOMPARE(Text("txtID"), "9999");
    QCOMPARE(Text("txtIncome"), income);
    QCOMPARE(Text("txtNumPersons"), persons);
    QCOMPARE(FocusName(), field);
    QVERIFY(form->isVisible());
    Box("txtID")->clear();
    Press(Qt::Key_Escape);
}

void frmDataTest::refusedDuringCloseKeepsTheWindow()
{
    for (int i = 0; i < MaxHouseholds; ++i)
        AddHousehold("x", "10", "1");
    FillIn("last", "10", "1");
    MessageBoxAnswer confirm(QMessageBox::Yes, "Confirm Close");
    MessageBoxAnswer refusal(Qt::Key_Return, "Error");
    Press(Qt::Key_Escape);
    QVERIFY(confirm.seen().shown);
    QVERIFY(refusal.seen().shown);
    QCOMPARE(refusal.seen().title, "Error");
    QVERIFY(form->isVisible());
    QCOMPARE(Text("txtID"), "last");
    QCOMPARE(int(HouseholdCount), MaxHouseholds);
    Box("txtID")->clear();
    Press(Qt::Key_Escape);
}

void frmDataTest::titleBarCloseActsLikeClose()
{
    FillIn("1001", "6000", "3");
    MessageBoxAnswer cancel(QMessageBox::Cancel, "Confirm Close");
    form->close();
    QVERIFY(cancel.seen().shown);
    QVERIFY(form->isVisible());

    MessageBoxAnswer yes(QMessageBox::Yes, "Confirm Close");
    form->close();
    QVERIFY(yes.seen().shown);
    QVERIFY(!form->isVisible());
    QCOMPARE(HouseholdCount, 1);
}

QTEST_MAIN(frmDataTest)
#include "frmDataTest.moc"
