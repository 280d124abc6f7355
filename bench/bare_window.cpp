// The floor for the viewer's start-up: the least a Qt program does to put a window with one
// line of Cyrillic text on the screen.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Скрий менюто"));
    label.resize(625, 540);
    label.show();
    return app.exec();
}
