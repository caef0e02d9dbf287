#include "DefaultPrinter.h"
#include "Desktop.h"
#include "PlendrikApplication.h"
#include "frmAnalyze.h"

#include <QDir>
#include <QFontDatabase>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (const QString why = WhyNoDisplay(argv[0]); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return EXIT_FAILURE;
    }
    PlendrikApplication app(argc, argv);
    // Fonts that ship beside the program (the report's fixed-pitch face, on
    // Windows) keep the printed columns the same on every machine.
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    for (const QString &font : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(font));

    DefaultPrinter printer;
    frmAnalyze window(printer);
    window.show();
    return QApplication::exec();
}
