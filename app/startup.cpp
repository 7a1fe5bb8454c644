#include "startup.h"

#include "messagebox.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStyleFactory>

namespace kav {

bool haveDisplay(QString* why) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    *why = QStringLiteral("kavetta: no display to show the window on. Start it from a desktop "
                          "session, or set DISPLAY (for example under xvfb-run).");
    return false;
#else
    Q_UNUSED(why);
    return true;
#endif
}

bool setUpJapaneseFont(QString* why) {
    const QString face = QStringLiteral("ＭＳ Ｐゴシック");
    const QStringList families = QFontDatabase::families();
    if (families.contains(face))
        return true;
    // Proportional Japanese gothic faces, closest in look first.
    const QStringList substitutes = {
        QStringLiteral("IPAPGothic"),       QStringLiteral("IPA Pゴシック"),
        QStringLiteral("VL PGothic"),       QStringLiteral("IPAGothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("TakaoPGothic")};
    for (const QString& candidate : substitutes) {
        if (families.contains(candidate)) {
            QFont::insertSubstitution(face, candidate);
            return true;
        }
    }
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    if (!japanese.isEmpty()) {
        QFont::insertSubstitution(face, japanese.first());
        return true;
    }
    *why = QStringLiteral("kavetta: no Japanese font is installed, so the captions may show as "
                          "boxes. Install one, for example: apt-get install fonts-ipafont-gothic");
    return false;
}

void setUpApplication() {
    // One style everywhere, so the OPEN and CLOSE faces show their colours on every platform.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setApplicationName(QStringLiteral("kavetta"));
    // A blinking caret wakes the process twice a second; at a workbench left open for hours
    // with nothing arriving, the program should cost nothing.
    QApplication::setCursorFlashTime(0);
    QApplication::setApplicationDisplayName(QString());
    QString why;
    if (!setUpJapaneseFont(&why))
        qWarning("%s", qPrintable(why));
    installJapaneseTranslation();
}

} // namespace kav
