#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QString why;
    if (!kav::haveDisplay(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    QApplication app(argc, argv);
    kav::setUpApplication();
    kav::Form1 form;
    if (!form.Form_Load())
        return 0;
    form.show();
    return app.exec();
}
