#include "frmAbout.h"

#include "Twips.h"

#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

// The classic dialog face where it scales. Where it is only a bitmap face,
// in a few fixed sizes (as on Windows 10 and 11), its scalable successor;
// else the nearest sans-serif the system has.
QFont ClassicFont(qreal pointSize, bool italic)
{
    QStringList families;
    for (const QString &family :
         {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans")})
        if (QFontDatabase::isSmoothlyScalable(family))
            families.append(family);
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    font.setItalic(italic);
    return font;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, const QRect &geometry)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

void MakeBlue(QLabel *label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
}

QLabel *MakeDollar(QWidget *parent, const char *name, const QRect &geometry)
{
    QLabel *label = MakeLabel(parent, name, QStringLiteral("$"), geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(ClassicFont(24, true));
    MakeBlue(label);
    return label;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Plendrik "));
    setFixedSize(TwipsSize(this, 5895, 3795));

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Plendrik"), TwipsRect(this, 1560, 360, 3375, 375));
    Label1->setFont(ClassicFont(13.5, false));
    MakeBlue(Label1);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Version 1.0"), TwipsRect(this, 2160, 960, 1335, 255));

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    // A rule from (720, 1560) to (5160, 1560), centred on that height.
    const QRect rule = TwipsRect(this, 720, 1560, 5160 - 720, 0);
    Line1->setGeometry(rule.left(), rule.top() - 1, rule.width(), 2);

    Label3 = MakeDollar(this, "Label3", TwipsRect(this, 1560, 1800, 735, 615));
    Label5 = MakeDollar(this, "Label5", TwipsRect(this, 2280, 1800, 735, 615));
    Label4 = MakeDollar(this, "Label4", TwipsRect(this, 3120, 1800, 735, 615));

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(TwipsRect(this, 2160, 3000, 1215, 495));
    cmdOK->setDefault(true);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAbout::cmdOK_Click()
{
    accept();
}
