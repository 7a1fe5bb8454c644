#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <type_traits>

namespace kav {

class ColourButton;
class TextBox;

// The controls the window's handlers use, one typed member each, filled as the layout table
// creates them. The table ties each entry to its member at compile time, as a Designer form's
// generated class does, so a renamed or misspelt control does not build.
struct FormControls {
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo4 = nullptr;
    QComboBox* Combo5 = nullptr;
    QPushButton* Command133 = nullptr; // OPEN
    QPushButton* Command134 = nullptr; // CLOSE
    QPushButton* Command136 = nullptr; // exit
    QPushButton* Command130 = nullptr; // send
    QPushButton* Command131 = nullptr; // clear the send data
    TextBox* Text3 = nullptr;          // send data as text
    TextBox* Text1 = nullptr;          // send data as codes
    QCheckBox* Check1 = nullptr;       // auto clear
    QPushButton* Command29 = nullptr;  // clear the receive data
    QLabel* Label7 = nullptr;          // received count
    QLabel* Label12 = nullptr;         // reception time
    TextBox* Text4 = nullptr;          // received data as text
    TextBox* Text2 = nullptr;          // received data as codes
    // Memory slots, a row each: write button, read button, box.
    QPushButton* Command135 = nullptr;
    QPushButton* Command137 = nullptr;
    TextBox* Text6 = nullptr;
    QPushButton* Command132 = nullptr;
    QPushButton* Command140 = nullptr;
    TextBox* Text7 = nullptr;
    QPushButton* Command138 = nullptr;
    QPushButton* Command141 = nullptr;
    TextBox* Text8 = nullptr;
    QPushButton* Command139 = nullptr;
    QPushButton* Command142 = nullptr;
    TextBox* Text9 = nullptr;
};

} // namespace kav
