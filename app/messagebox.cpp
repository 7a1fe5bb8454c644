#include "messagebox.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace kav {

namespace {

bool translated = false;

void labelButton(QMessageBox& box, QMessageBox::StandardButton which, const QString& text) {
    if (QAbstractButton* button = box.button(which); button && !translated)
        button->setText(text);
}

} // namespace

bool installJapaneseTranslation() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    // The Windows program carries its own copy; elsewhere Qt's installed one is used.
    for (const QString& folder :
         {QStringLiteral(":/i18n"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            translated = true;
            return true;
        }
    }
    delete translator;
    return false;
}

void showMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kavetta"), text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    labelButton(box, QMessageBox::Ok, QStringLiteral("OK"));
    box.exec();
}

bool askYesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kavetta"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    labelButton(box, QMessageBox::Yes, QStringLiteral("はい(&Y)"));
    labelButton(box, QMessageBox::No, QStringLiteral("いいえ(&N)"));
    return box.exec() == QMessageBox::Yes;
}

} // namespace kav
