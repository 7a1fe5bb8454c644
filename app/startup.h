#pragma once

#include <QString>

namespace kav {

// Before the toolkit starts: true when there is something to show a window on. Without it the
// toolkit would abort; the message says what to do instead.
bool haveDisplay(QString* why);

// Makes the form's Japanese face resolve to an installed font. Returns false, with a message,
// when no font on the system can show the captions.
bool setUpJapaneseFont(QString* why);

// Style, font, translation: everything the window expects of the application.
void setUpApplication();

} // namespace kav
