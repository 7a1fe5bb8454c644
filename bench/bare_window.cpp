// The least a Qt Widgets program does to show a window, as the yardstick the window's start is
// measured against (bench/peers/compare.py): the same libraries, the same platform plugin, the
// same build flags, and nothing of Kavetta's own. Given a caption, it shows that in a label as
// well: a window without text never loads a font before it is mapped, and every window with a
// word on it does.

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(640, 480);
    if (argc > 1) {
        auto* caption = new QLabel(QString::fromLocal8Bit(argv[1]), &window);
        caption->adjustSize();
    }
    window.show();
    return app.exec();
}
