#include "DefaultPrinter.h"
#include "frmAnalyze.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Without this check the toolkit would abort with a message about platform
// plugins that tells an operator nothing.
bool DisplayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "Plendrik needs a graphical display and none was found (DISPLAY is not set); to run it "
                     "without a screen, install xvfb (apt-get install xvfb) and start it with: xvfb-run -a %s\n",
                     argv[0]);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plendrik"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("plendrik"));

    DefaultPrinter printer;
    frmAnalyze window(printer);
    window.show();
    return QApplication::exec();
}
