#include "Desktop.h"

QString WhyNoDisplay(const char *program)
{
    // Without this check the toolkit would abort with a message about
    // platform plugins that tells an operator nothing.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return {};
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    return QStringLiteral("Plendrik needs a graphical display and none was found (DISPLAY is not set); to run it "
                          "without a screen, install xvfb (apt-get install xvfb) and start it with: xvfb-run -a %1")
        .arg(QString::fromLocal8Bit(program));
}
