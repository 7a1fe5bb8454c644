#pragma once

#include <QString>

class QWidget;

namespace kav {

// The program's modal boxes: caption "Kavetta", no icon, Japanese stock buttons.
void showMessage(QWidget* parent, const QString& text);
// Yes is the default; only an explicit Yes returns true.
bool askYesNo(QWidget* parent, const QString& text);

// Loads Qt's own Japanese translation so stock buttons read はい/いいえ; returns false when it
// is not installed, in which case the boxes set the texts themselves.
bool installJapaneseTranslation();

} // namespace kav
