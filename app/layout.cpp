#include "layout.h"

#include <array>

namespace kav {

namespace {

using K = ControlKind;

constexpr std::array<ControlSpec, 47> controls = {{
    // Top band
    {"Label1", K::Label, nullptr, "COM PORT", 240, 0, 1215, 255, 23},
    {"Combo1", K::ComboBox, nullptr, "", 240, 360, 1215, 300, 22},
    {"Label2", K::Label, nullptr, "BAUD RATE", 1680, 0, 1215, 255, 3},
    {"Combo2", K::ComboBox, nullptr, "", 1680, 360, 1215, 300, 21},
    {"Label3", K::Label, nullptr, "DATA BIT", 3120, 0, 1215, 255, 4},
    {"Combo3", K::ComboBox, nullptr, "", 3120, 360, 1215, 300, 0},
    {"Label4", K::Label, nullptr, "PARITY", 4440, 0, 1215, 255, 5},
    {"Combo4", K::ComboBox, nullptr, "", 4440, 360, 1215, 300, 1},
    {"Label5", K::Label, nullptr, "STOP BIT", 5760, 0, 1215, 255, 6},
    {"Combo5", K::ComboBox, nullptr, "", 5760, 360, 1215, 300, 2},
    {"Label6", K::Label, nullptr, "PORT", 7680, 0, 615, 255, 66},
    {"Command133", K::ColourButton, nullptr, "OPEN", 7080, 240, 855, 495, 55},
    {"Command134", K::ColourButton, nullptr, "CLOSE", 8040, 240, 855, 495, 56},
    {"Command136", K::Button, nullptr, "終了", 9120, 240, 975, 495, 73},
    // Frames and banner
    {"Frame1", K::Frame, nullptr, "送信データ", 1800, 720, 9375, 2055, 57},
    {"Frame2", K::Frame, nullptr, "受信データ", 1800, 2760, 9375, 2055, 60},
    {"Frame3", K::Frame, nullptr, "送信データの一時保存", 1800, 5040, 9375, 2775, 76},
    {"Label16", K::Label, nullptr, "Kavetta Ver3.00", 3360, 7800, 7455, 255, 69},
    // Send data
    {"Command130", K::Button, "Frame1", "送信", 1560, 240, 1095, 375, 58},
    {"Command131", K::Button, "Frame1", "消去", 2880, 240, 1095, 375, 59},
    {"Label17", K::Label, "Frame1", "ﾃｷｽﾄﾃﾞｰﾀ", 120, 840, 1215, 255, 70},
    {"Text3", K::TextBox, "Frame1", "", 1560, 720, 7695, 615, 72},
    {"Label10", K::Label, "Frame1", "ASCｺｰﾄﾞ", 120, 1440, 975, 255, 67},
    {"Text1", K::TextBox, "Frame1", "", 1560, 1320, 7695, 615, 62},
    // Receive data
    {"Check1", K::CheckBox, "Frame2", "自動消去", 1560, 360, 1335, 255, 75},
    {"Command29", K::Button, "Frame2", "消去", 2880, 240, 1095, 375, 91},
    {"Label7", K::Label, "Frame2", "", 4560, 240, 855, 375, 61},
    {"Label9", K::Label, "Frame2", "Byte", 5400, 360, 615, 255, 64},
    {"Label8", K::Label, "Frame2", "受信時間", 6480, 360, 975, 255, 89},
    {"Label12", K::Label, "Frame2", "", 7440, 240, 1095, 375, 74},
    {"Label13", K::Label, "Frame2", "sec", 8520, 360, 615, 255, 90},
    {"Label18", K::Label, "Frame2", "ﾃｷｽﾄﾃﾞｰﾀ", 120, 840, 975, 255, 71},
    {"Text4", K::TextBox, "Frame2", "", 1560, 720, 7695, 615, 65},
    {"Label11", K::Label, "Frame2", "ASCｺｰﾄﾞ", 120, 1440, 975, 255, 68},
    {"Text2", K::TextBox, "Frame2", "", 1560, 1320, 7695, 615, 63},
    // Memory slots
    {"Command135", K::Button, "Frame3", "書込", 120, 240, 615, 495, 88},
    {"Command137", K::Button, "Frame3", "読出", 720, 240, 615, 495, 87},
    {"Text6", K::TextBox, "Frame3", "", 1560, 240, 7695, 615, 77},
    {"Command132", K::Button, "Frame3", "書込", 120, 840, 615, 495, 86},
    {"Command140", K::Button, "Frame3", "読出", 720, 840, 615, 495, 85},
    {"Text7", K::TextBox, "Frame3", "", 1560, 840, 7695, 615, 78},
    {"Command138", K::Button, "Frame3", "書込", 120, 1440, 615, 495, 84},
    {"Command141", K::Button, "Frame3", "読出", 720, 1440, 615, 495, 83},
    {"Text8", K::TextBox, "Frame3", "", 1560, 1440, 7695, 615, 79},
    {"Command139", K::Button, "Frame3", "書込", 120, 2040, 615, 495, 82},
    {"Command142", K::Button, "Frame3", "読出", 720, 2040, 615, 495, 81},
    {"Text9", K::TextBox, "Frame3", "", 1560, 2040, 7695, 615, 80},
}};

constexpr std::array<SlotControls, 4> slotRows = {{
    {1, "Command135", "Command137", "Text6"},
    {2, "Command132", "Command140", "Text7"},
    {3, "Command138", "Command141", "Text8"},
    {4, "Command139", "Command142", "Text9"},
}};

} // namespace

std::span<const ControlSpec> formControls() {
    return controls;
}
std::span<const SlotControls> slotControls() {
    return slotRows;
}

} // namespace kav
