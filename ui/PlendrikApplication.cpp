#include "PlendrikApplication.h"

PlendrikApplication::PlendrikApplication(int argc, char *argv[])
    : OwnName(argc > 0 ? argv[0] : nullptr)
    , QApplication(toolkitArgc, toolkitArgv)
{
    setApplicationName(QStringLiteral("Plendrik"));
    // Lets the desktop match the window to its menu entry and icon.
    setDesktopFileName(QStringLiteral("plendrik"));
}
