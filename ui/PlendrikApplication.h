#pragma once

// The toolkit as the program starts it. The program has no command line: the
// toolkit is told the program's own name and nothing more, so its options
// typed after it (-qwindowtitle, -stylesheet, -reverse, -style, -platform)
// change nothing and no file named there is read. The desktop's environment
// (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM, QT_SCALE_FACTOR) still applies.

#include <QApplication>

namespace PlendrikApplicationDetail {
// What the toolkit is given of the command line: it keeps these for as long
// as it runs, so they are made before it and go after it.
struct OwnName
{
    explicit OwnName(char *program) : toolkitArgc(program ? 1 : 0), toolkitArgv{program, nullptr} {}
    int toolkitArgc;
    char *toolkitArgv[2];
};
} // namespace PlendrikApplicationDetail

class PlendrikApplication : private PlendrikApplicationDetail::OwnName, public QApplication
{
public:
    // argc and argv as main was given them.
    PlendrikApplication(int argc, char *argv[]);
};
