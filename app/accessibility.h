#pragma once

#include <QString>
#include <span>

class QWidget;

namespace kav {

// What a screen reader announces for a control beyond what the toolkit gives it. Buttons, the
// check box, frames and caption labels are read by their captions, so they need no name here;
// the boxes and lists stand beside captions that say too little on their own ("ASCｺｰﾄﾞ" twice),
// so they are named after caption and frame together. A null name keeps the control's own text
// as its name (the value labels are read as the value they show).
//
// Qt on Linux reports an editable list's current text as its name and leaves the name to the
// label that has the list as its buddy, so each list and box is also tied to its caption label.
struct AccessibleText {
    const char* objectName;
    const char* name;        // UTF-8, or nullptr
    const char* description; // UTF-8, or nullptr
    const char* caption;     // object name of the caption label beside it, or nullptr
};

std::span<const AccessibleText> accessibleTexts();

// Names and describes the window's controls after the table.
void setUpAccessibility(QWidget* form);

// What the OPEN and CLOSE buttons say of the port, which the screen tells by colour alone.
QString portOpenDescription();
QString portClosedDescription();

} // namespace kav
