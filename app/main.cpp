#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>

int main(int argc, char* argv[]) {
    QString why;
    if (!kav::haveDisplay(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    QApplication app(argc, argv);
    kav::setUpApplication();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kavetta.png")));
    QApplication::setDesktopFileName(QStringLiteral("io.github.kavetta.Kavetta"));
    kav::Form1 form;
    if (!form.Form_Load())
        return 0;
    form.show();
    return app.exec();
}
