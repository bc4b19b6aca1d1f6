#include "res/dialog_templates.h"

#include <array>

namespace keyscope::res {
namespace {

using K = ControlKind;

constexpr DluRect checkRect(int column, int row, int width) {
    constexpr std::array<int, 4> xs{25, 72, 119, 166};
    constexpr std::array<int, 4> ys{21, 38, 55, 72};
    return {xs[column], ys[row], width, 10};
}

constexpr std::array kPinEnableControls{
    ControlTemplate{kNoId, K::GroupBox, "Enable TK Pin", {7, 7, 211, 84}},
    ControlTemplate{kCheckTk0 + 0, K::CheckBox, "TK0", checkRect(0, 0, 29)},
    ControlTemplate{kCheckTk0 + 1, K::CheckBox, "TK1", checkRect(0, 1, 29)},
    ControlTemplate{kCheckTk0 + 2, K::CheckBox, "TK2", checkRect(0, 2, 29)},
    ControlTemplate{kCheckTk0 + 3, K::CheckBox, "TK3", checkRect(0, 3, 29)},
    ControlTemplate{kCheckTk0 + 4, K::CheckBox, "TK4", checkRect(1, 0, 29)},
    ControlTemplate{kCheckTk0 + 5, K::CheckBox, "TK5", checkRect(1, 1, 29)},
    ControlTemplate{kCheckTk0 + 6, K::CheckBox, "TK6", checkRect(1, 2, 29)},
    ControlTemplate{kCheckTk0 + 7, K::CheckBox, "TK7", checkRect(1, 3, 29)},
    ControlTemplate{kCheckTk0 + 8, K::CheckBox, "TK8", checkRect(2, 0, 29)},
    ControlTemplate{kCheckTk0 + 9, K::CheckBox, "TK9", checkRect(2, 1, 29)},
    ControlTemplate{kCheckTk0 + 10, K::CheckBox, "TK10", checkRect(2, 2, 33)},
    ControlTemplate{kCheckTk0 + 11, K::CheckBox, "TK11", checkRect(2, 3, 33)},
    ControlTemplate{kCheckTk0 + 12, K::CheckBox, "TK12", checkRect(3, 0, 33)},
    ControlTemplate{kCheckTk0 + 13, K::CheckBox, "TK13", checkRect(3, 1, 33)},
    ControlTemplate{kCheckTk0 + 14, K::CheckBox, "TK14", checkRect(3, 2, 33)},
    ControlTemplate{kCheckTk0 + 15, K::CheckBox, "TK15", checkRect(3, 3, 33)},
    ControlTemplate{kButtonPinInvert, K::PushButton, "Invert", {8, 96, 50, 14}},
    ControlTemplate{kButtonPinOk, K::DefaultPushButton, "OK", {113, 96, 50, 14}},
    ControlTemplate{kButtonPinCancel, K::PushButton, "Cancel", {168, 96, 50, 14}},
};

constexpr std::array kTimeBarControls{
    ControlTemplate{kStaticChart, K::Frame, "", {0, 0, 164, 85}},
};

constexpr std::array kChipSettingsControls{
    ControlTemplate{kIdOk, K::DefaultPushButton, "OK", {118, 50, 50, 14}},
    ControlTemplate{kIdCancel, K::PushButton, "Cancel", {170, 50, 50, 14}},
    ControlTemplate{kNoId, K::Label, "Key Trigger Level", {7, 7, 59, 8}},
    ControlTemplate{kNoId, K::Label, "Counter Pre-Scale", {7, 27, 59, 8}},
    ControlTemplate{kNoId, K::Label, "TKTMR", {7, 47, 25, 8}},
    ControlTemplate{kEditTriggerLevel, K::Edit, "", {68, 4, 25, 14}, kTextCentre},
    ControlTemplate{kEditPreScale, K::Edit, "", {72, 24, 25, 14}, kTextCentre},
    ControlTemplate{kEditTktmr, K::Edit, "", {72, 44, 25, 14}, kTextCentre},
    ControlTemplate{kNoId, K::GroupBox, "TK Clock", {118, 7, 102, 30}},
    ControlTemplate{kRadio2MHz, K::RadioButton, "2 MHz", {128, 20, 30, 9}, kGroupStart},
    ControlTemplate{kRadio4MHz, K::RadioButton, "4 MHz", {172, 20, 30, 9}},
    ControlTemplate{kNoId, K::Label, "(0~255)", {94, 7, 23, 8}},
    ControlTemplate{kNoId, K::Label, "(0~3)", {98, 27, 16, 8}},
    ControlTemplate{kNoId, K::Label, "(0~7)", {98, 47, 16, 8}},
};

constexpr std::array kMaxMinControls{
    ControlTemplate{kIdOk, K::DefaultPushButton, "OK", {25, 59, 50, 14}},
    ControlTemplate{kIdCancel, K::PushButton, "Cancel", {112, 59, 50, 14}},
    ControlTemplate{kNoId, K::Label, "Maximum", {21, 16, 29, 8}},
    ControlTemplate{kNoId, K::Label, "Minimum", {21, 32, 29, 8}},
    ControlTemplate{kEditMaximum, K::Edit, "", {67, 12, 70, 14}, kDigitsOnly | kTextRight},
    ControlTemplate{kEditMinimum, K::Edit, "", {67, 30, 70, 14}, kDigitsOnly | kTextRight},
};

constexpr std::array<std::string_view, 8> kComPortItems{"COM1", "COM2", "COM3", "COM4",
                                                        "COM5", "COM6", "COM7", "COM8"};
constexpr std::array<std::string_view, 4> kBaudRateItems{"1200", "2400", "4800", "9600"};

// Only the controls, their texts and order are given for this dialog; the
// rectangles are this program's own layout.
constexpr std::array kSerialSetupControls{
    ControlTemplate{kNoId, K::Label, "Com Port", {10, 12, 40, 8}},
    ControlTemplate{kComboComPort, K::ComboBox, "", {55, 10, 60, 14}, kStyleNone, kComPortItems},
    ControlTemplate{kNoId, K::Label, "Boud Rate", {10, 32, 40, 8}},
    ControlTemplate{kComboBaudRate, K::ComboBox, "", {55, 30, 60, 14}, kStyleNone, kBaudRateItems},
    ControlTemplate{kIdOk, K::DefaultPushButton, "Connect", {10, 56, 50, 14}},
    ControlTemplate{kIdCancel, K::PushButton, "Cancel", {70, 56, 50, 14}},
};

}  // namespace

constexpr DialogTemplate kPinEnableTemplate{
    kDialogPinEnable, "Keyscope", 225, 114, "Arial", 8, kDialogTaskbarButton, kPinEnableControls};

constexpr DialogTemplate kTimeBarTemplate{
    kDialogTimeBar,  "Keyscope", 320, 179, "Arial", 8, kDialogResizable | kDialogMinMaxBoxes,
    kTimeBarControls};

constexpr DialogTemplate kChipSettingsTemplate{kDialogChipSettings,
                                               "Keyscope - KR48/KR44 Series Touch",
                                               232,
                                               71,
                                               "System",
                                               10,
                                               kDialogModalFrame,
                                               kChipSettingsControls};

constexpr DialogTemplate kMaxMinTemplate{
    kDialogMaxMin,     "Keyscope Option Dialog", 187, 80, "System", 10,
    kDialogModalFrame, kMaxMinControls};

constexpr DialogTemplate kSerialSetupTemplate{
    kDialogSerialSetup, "LQ-24 Setup UART Dialog", 130, 78, "Arial", 8,
    kDialogModalFrame,  kSerialSetupControls};

const DialogTemplate* findDialogTemplate(int resourceId) {
    for (const DialogTemplate* t : {&kPinEnableTemplate, &kTimeBarTemplate, &kChipSettingsTemplate,
                                    &kMaxMinTemplate, &kSerialSetupTemplate}) {
        if (t->id == resourceId) {
            return t;
        }
    }
    return nullptr;
}

}  // namespace keyscope::res
