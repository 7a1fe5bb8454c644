// The least a Qt Widgets program does to show a window, as the yardstick the window's start is
// measured against (bench/peers/compare.py): the same libraries, the same platform plugin, the
// same build flags, and nothing of Kavetta's own.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
