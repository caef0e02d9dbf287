// The toolkit's floor for start-up: the least a Qt Widgets program showing
// Plendrik's main window could cost. One main window with a one-item menu bar
// and a client area of Plendrik's size, nothing else. Built a second time
// with FLOOR_WITH_CUPS, linked against libcups, so the loader also maps
// libcups and everything it needs.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

#ifdef FLOOR_WITH_CUPS
#include <cups/cups.h>

#include <cstdio>
#include <cstring>
#endif

int main(int argc, char *argv[])
{
#ifdef FLOOR_WITH_CUPS
    // A real call keeps libcups among the program's needed libraries whatever
    // the linker's --as-needed default; it is never reached in a measured run.
    if (argc > 1 && std::strcmp(argv[1], "--cups-user") == 0) {
        std::puts(cupsUser());
        return 0;
    }
#endif
    QApplication app(argc, argv);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.menuBar()->addMenu(QStringLiteral("&File"));

    // Plendrik's client area is 6705 x 4140 twips; the same size here keeps
    // the window's pixel buffers, and so the memory they take, alike.
    auto *clientArea = new QWidget(&window);
    clientArea->setFixedSize(qRound(6705 * clientArea->logicalDpiX() / 1440.0),
                             qRound(4140 * clientArea->logicalDpiY() / 1440.0));
    window.setCentralWidget(clientArea);

    window.show();
    return QApplication::exec();
}
