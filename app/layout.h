#pragma once

#include <QString>
#include <span>

class QPushButton;
class QWidget;

namespace kav {

struct FormControls;
class TextBox;

// The fixed layout of the window, in twips as the form was drawn (15 twips to a pixel at 96 dpi).
// A ColourButton is a button whose face shows a colour of the form's own.
enum class ControlKind { Label, ComboBox, Button, ColourButton, Frame, TextBox, CheckBox };

// Stores a newly made control in its member of FormControls; null for controls no handler uses.
using ControlBinder = void (*)(FormControls&, QWidget*);

struct ControlSpec {
    const char* name;
    ControlKind kind;
    ControlBinder bind;
    const char* container; // nullptr: the window itself
    const char* caption;   // UTF-8
    int left, top, width, height;
    int tabPlace;
};

inline constexpr int TwipsPerPixel = 15;
inline constexpr int ClientWidthTwips = 11310;
inline constexpr int ClientHeightTwips = 8115;

// Every control but the keypad buttons, containers before what they hold.
std::span<const ControlSpec> formControls();

// The keypad's grid, in twips.
inline constexpr int KeypadLeft = 240, KeypadColumnStep = 480;
inline constexpr int KeypadTop = 960, KeypadRowStep = 360;
inline constexpr int KeypadWidth = 495, KeypadHeight = 375;

// One row of the memory-slot frame.
struct SlotControls {
    int slot;
    QPushButton* FormControls::*writeButton;
    QPushButton* FormControls::*readButton;
    TextBox* FormControls::*box;
};
std::span<const SlotControls> slotControls();

} // namespace kav
