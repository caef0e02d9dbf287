#include "Operator.h"
#include "frmAbout.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class frmAboutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The classic face as Windows 10 and 11 have it: bitmaps in a few sizes.
    void initTestCase() { QVERIFY(QFontDatabase::addApplicationFont("/usr/share/wine/fonts/sserife.fon") >= 0); }
    void looksAsDesigned();
    void okHidesAndTheWindowComesBackTheSame();
};

void frmAboutTest::looksAsDesigned()
{
    frmAbout about;
    QCOMPARE(about.windowTitle(), "About Plendrik ");
    QCOMPARE(about.size(),
             QSize(qRound(393 * about.logicalDpiX() / 96.0), qRound(253 * about.logicalDpiY() / 96.0)));
    QCOMPARE(about.minimumSize(), about.maximumSize());

    auto *title = about.findChild<QLabel *>("Label1");
    QCOMPARE(title->text(), "Plendrik");
    QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(title->font().bold());
    QCOMPARE(title->font().pointSizeF(), 13.5);
    QVERIFY2(QFontDatabase::isSmoothlyScalable(QFontInfo(title->font()).family()), "a bitmap face, ragged when scaled");
    QVERIFY(!about.findChild<QLabel *>("Label2")->text().isEmpty());

    // Three blue dollars side by side under the rule: Label3, Label5, Label4.
    const auto *rule = about.findChild<QFrame *>("Line1");
    int previousLeft = -1;
    for (const char *name : {"Label3", "Label5", "Label4"}) {
        auto *dollar = about.findChild<QLabel *>(name);
        QCOMPARE(dollar->text(), "$");
        QVERIFY(dollar->alignment() & Qt::AlignHCenter);
        QCOMPARE(dollar->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(dollar->font().bold() && dollar->font().italic());
        QCOMPARE(dollar->font().pointSizeF(), 24.0);
        QVERIFY(dollar->geometry().left() > previousLeft);
        QVERIFY(dollar->geometry().top() > rule->geometry().bottom());
        previousLeft = dollar->geometry().left();
    }
    auto *ok = about.findChild<QPushButton *>("cmdOK");
    QCOMPARE(ok->text(), "&OK");
    QVERIFY(ok->isDefault());
}

void frmAboutTest::okHidesAndTheWindowComesBackTheSame()
{
    frmAbout about;
    for (int showing = 0; showing < 2; ++showing) {
        about.show();
        QApplication::setActiveWindow(&about);
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(Operator::Focus()->objectName(), "cmdOK");
        Operator::Press(Qt::Key_Escape);
        QVERIFY(about.isVisible());
        Operator::Press(Qt::Key_O, Qt::AltModifier);
        QTRY_VERIFY(!about.isVisible());
    }
}

QTEST_MAIN(frmAboutTest)
#include "frmAboutTest.moc"
