// Starts the program: the main window, its start-up steps, then the event
// loop until the window is closed.
#include <QApplication>

#include "Form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tessaly::Form1 form;
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
