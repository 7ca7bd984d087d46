// Starts the program: the main window, its start-up steps, then the event
// loop until the window is closed.
#include <QApplication>

#include "Form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Names the installed desktop entry, so desktops show its name and icon
    // for this window.
    QGuiApplication::setDesktopFileName(QStringLiteral(TESSALY_APP_ID));
    tessaly::Form1 form;
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
