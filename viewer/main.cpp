#include "viewer/interface_font.h"
#include "viewer/main_window.h"
#include "viewer/start_path.h"

#include <QApplication>
#include <QTextStream>

#include <filesystem>
#include <system_error>

int main(int argc, char *argv[]) {
    // Takes Qt's own options (-platform ...) out of argc and argv.
    QApplication app(argc, argv);
    // The window's X11 class and the desktop entry's StartupWMClass; the entry's name ties the
    // window to its icon on Wayland.
    QCoreApplication::setApplicationName(QStringLiteral("glimra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(GLIMRA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(GLIMRA_APP_ID));

    // The arguments as the bytes they came in: a file name need not be UTF-8. A relative
    // path is read from the folder the program was started in, before start-up leaves it.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    std::error_code error;
    const viewer::CommandLine line =
        viewer::parseCommandLine(arguments, std::filesystem::current_path(error));
    QTextStream out(stdout);
    if (!line.error.isEmpty()) {
        QTextStream(stderr) << "glimra: " << line.error << "\n\n" << viewer::usage();
        return 2;
    }
    if (line.help) {
        out << viewer::usage();
        return 0;
    }
    if (line.version) {
        out << "Glimra " << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }

    MainWindow frmMain(nullptr, MainWindow::Load::Later);
    // The window goes on the screen before anything in it is measured or drawn, as any
    // window's does: the fonts are loaded, the icon and the buttons' pictures decoded, and the
    // drive, folder and file lists read, after it is mapped and before its first paint.
    frmMain.show();
    viewer::loadInterfaceFont();
    frmMain.frmMain_Load();
    if (line.path)
        frmMain.openStartPath(*line.path);
    return app.exec();
}
