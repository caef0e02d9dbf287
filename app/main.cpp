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
        std::fputs("plendrik needs a graphical display and none was found; to run it without one, "
                   "start it under a virtual display: xvfb-run -a build/app/plendrik\n",
                   stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plendrik"));

    DefaultPrinter printer;
    frmAnalyze window(printer);
    window.show();
    return QApplication::exec();
}
