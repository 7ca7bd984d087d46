// Starts the program: the main window, its start-up steps, then the event
// loop until the window is closed.
#include <QApplication>
#include <csignal>

#include "Form1.h"

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // A write past the user's file-size limit then fails with EFBIG, which
    // a run reports and cleans up after, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    // Names the installed desktop entry, so desktops show its name and icon
    // for this window.
    QGuiApplication::setDesktopFileName(QStringLiteral(TESSALY_APP_ID));
    tessaly::Form1 form;
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
