#include "viewer/interface_font.h"
#include "viewer/main_window.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    // The program reads no command line of its own; Qt's options (-platform ...) still work.
    QApplication app(argc, argv);
    viewer::loadInterfaceFont();
    MainWindow frmMain;
    frmMain.show();
    return app.exec();
}
