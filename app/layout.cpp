#include "layout.h"

#include "colourbutton.h"
#include "formcontrols.h"
#include "textbox.h"

#include <array>

namespace kav {

namespace {

using K = ControlKind;

template <ControlKind Kind> struct KindClass;
template <> struct KindClass<K::Label> { using type = QLabel; };
template <> struct KindClass<K::ComboBox> { using type = QComboBox; };
template <> struct KindClass<K::Button> { using type = QPushButton; };
template <> struct KindClass<K::ColourButton> { using type = ColourButton; };
template <> struct KindClass<K::Frame> { using type = QGroupBox; };
template <> struct KindClass<K::TextBox> { using type = TextBox; };
template <> struct KindClass<K::CheckBox> { using type = QCheckBox; };

template <ControlKind Kind, auto Member> void bindTo(FormControls& controls, QWidget* widget) {
    using Made = typename KindClass<Kind>::type;
    using Held = std::remove_pointer_t<std::remove_reference_t<decltype(controls.*Member)>>;
    static_assert(std::is_base_of_v<Held, Made>, "the control's kind does not fit its member");
    controls.*Member = static_cast<Made*>(widget);
}

// The form name once, as the object name and as the member it is stored in.
#define BOUND(kind, name) #name, K::kind, &bindTo < K::kind, &FormControls::name>

constexpr std::array<ControlSpec, 47> controls = {{
    // Top band. The captions COM PORT, BAUD RATE and PORT reach into the free space to their
    // right: Latin letters of the Japanese gothic faces are wider than the form allowed for.
    {"Label1", K::Label, nullptr, nullptr, "COM PORT", 240, 0, 1440, 255, 23},
    {BOUND(ComboBox, Combo1), nullptr, "", 240, 360, 1215, 300, 22},
    {"Label2", K::Label, nullptr, nullptr, "BAUD RATE", 1680, 0, 1440, 255, 3},
    {BOUND(ComboBox, Combo2), nullptr, "", 1680, 360, 1215, 300, 21},
    {"Label3", K::Label, nullptr, nullptr, "DATA BIT", 3120, 0, 1215, 255, 4},
    {BOUND(ComboBox, Combo3), nullptr, "", 3120, 360, 1215, 300, 0},
    {"Label4", K::Label, nullptr, nullptr, "PARITY", 4440, 0, 1215, 255, 5},
    {BOUND(ComboBox, Combo4), nullptr, "", 4440, 360, 1215, 300, 1},
    {"Label5", K::Label, nullptr, nullptr, "STOP BIT", 5760, 0, 1215, 255, 6},
    {BOUND(ComboBox, Combo5), nullptr, "", 5760, 360, 1215, 300, 2},
    {"Label6", K::Label, nullptr, nullptr, "PORT", 7680, 0, 855, 255, 66},
    {BOUND(ColourButton, Command133), nullptr, "OPEN", 7080, 240, 855, 495, 55},
    {BOUND(ColourButton, Command134), nullptr, "CLOSE", 8040, 240, 855, 495, 56},
    {BOUND(Button, Command136), nullptr, "終了", 9120, 240, 975, 495, 73},
    // Frames and banner
    {"Frame1", K::Frame, nullptr, nullptr, "送信データ", 1800, 720, 9375, 2055, 57},
    {"Frame2", K::Frame, nullptr, nullptr, "受信データ", 1800, 2760, 9375, 2055, 60},
    {"Frame3", K::Frame, nullptr, nullptr, "送信データの一時保存", 1800, 5040, 9375, 2775, 76},
    {"Label16", K::Label, nullptr, nullptr, "Kavetta Ver3.00", 3360, 7800, 7455, 255, 69},
    // Send data
    {BOUND(Button, Command130), "Frame1", "送信", 1560, 240, 1095, 375, 58},
    {BOUND(Button, Command131), "Frame1", "消去", 2880, 240, 1095, 375, 59},
    {"Label17", K::Label, nullptr, "Frame1", "ﾃｷｽﾄﾃﾞｰﾀ", 120, 840, 1215, 255, 70},
    {BOUND(TextBox, Text3), "Frame1", "", 1560, 720, 7695, 615, 72},
    {"Label10", K::Label, nullptr, "Frame1", "ASCｺｰﾄﾞ", 120, 1440, 975, 255, 67},
    {BOUND(TextBox, Text1), "Frame1", "", 1560, 1320, 7695, 615, 62},
    // Receive data
    {BOUND(CheckBox, Check1), "Frame2", "自動消去", 1560, 360, 1335, 255, 75},
    {BOUND(Button, Command29), "Frame2", "消去", 2880, 240, 1095, 375, 91},
    {BOUND(Label, Label7), "Frame2", "", 4560, 240, 855, 375, 61},
    {"Label9", K::Label, nullptr, "Frame2", "Byte", 5400, 360, 615, 255, 64},
    {"Label8", K::Label, nullptr, "Frame2", "受信時間", 6480, 360, 975, 255, 89},
    {BOUND(Label, Label12), "Frame2", "", 7440, 240, 1095, 375, 74},
    {"Label13", K::Label, nullptr, "Frame2", "sec", 8520, 360, 615, 255, 90},
    {"Label18", K::Label, nullptr, "Frame2", "ﾃｷｽﾄﾃﾞｰﾀ", 120, 840, 975, 255, 71},
    {BOUND(TextBox, Text4), "Frame2", "", 1560, 720, 7695, 615, 65},
    {"Label11", K::Label, nullptr, "Frame2", "ASCｺｰﾄﾞ", 120, 1440, 975, 255, 68},
    {BOUND(TextBox, Text2), "Frame2", "", 1560, 1320, 7695, 615, 63},
    // Memory slots
    {BOUND(Button, Command135), "Frame3", "書込", 120, 240, 615, 495, 88},
    {BOUND(Button, Command137), "Frame3", "読出", 720, 240, 615, 495, 87},
    {BOUND(TextBox, Text6), "Frame3", "", 1560, 240, 7695, 615, 77},
    {BOUND(Button, Command132), "Frame3", "書込", 120, 840, 615, 495, 86},
    {BOUND(Button, Command140), "Frame3", "読出", 720, 840, 615, 495, 85},
    {BOUND(TextBox, Text7), "Frame3", "", 1560, 840, 7695, 615, 78},
    {BOUND(Button, Command138), "Frame3", "書込", 120, 1440, 615, 495, 84},
    {BOUND(Button, Command141), "Frame3", "読出", 720, 1440, 615, 495, 83},
    {BOUND(TextBox, Text8), "Frame3", "", 1560, 1440, 7695, 615, 79},
    {BOUND(Button, Command139), "Frame3", "書込", 120, 2040, 615, 495, 82},
    {BOUND(Button, Command142), "Frame3", "読出", 720, 2040, 615, 495, 81},
    {BOUND(TextBox, Text9), "Frame3", "", 1560, 2040, 7695, 615, 80},
}};

#undef BOUND

constexpr std::array<SlotControls, 4> slotRows = {{
    {1, &FormControls::Command135, &FormControls::Command137, &FormControls::Text6},
    {2, &FormControls::Command132, &FormControls::Command140, &FormControls::Text7},
    {3, &FormControls::Command138, &FormControls::Command141, &FormControls::Text8},
    {4, &FormControls::Command139, &FormControls::Command142, &FormControls::Text9},
}};

} // namespace

std::span<const ControlSpec> formControls() {
    return controls;
}
std::span<const SlotControls> slotControls() {
    return slotRows;
}

} // namespace kav
