#pragma once
// Dialog resources as plain data: ids, control kinds, texts and rectangles in
// dialog units, plus the dialog font. dialogs/DialogBuilder turns a table into
// widgets; nothing here depends on a GUI toolkit.

#include <cstdint>
#include <span>
#include <string_view>

namespace keyscope::res {

inline constexpr int kNoId = -1;  // labels and group boxes that no code addresses

// The toolkit's standard button ids: a button with one of these ids closes its
// dialog through accept() or reject().
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Dialog resource ids.
inline constexpr int kDialogPinEnable = 102;
inline constexpr int kDialogTimeBar = 104;
inline constexpr int kDialogChipSettings = 135;
inline constexpr int kDialogMaxMin = 136;
inline constexpr int kDialogSerialSetup = 138;

// Control ids.
inline constexpr int kCheckTk0 = 1000;  // check box for TKi is kCheckTk0 + i
inline constexpr int kButtonPinCancel = 1016;
inline constexpr int kButtonPinOk = 1017;
inline constexpr int kButtonPinInvert = 1018;
inline constexpr int kComboComPort = 1007;
inline constexpr int kComboBaudRate = 1008;
inline constexpr int kStaticChart = 1020;
inline constexpr int kEditTriggerLevel = 1052;
inline constexpr int kEditPreScale = 1053;
inline constexpr int kEditTktmr = 1054;
inline constexpr int kRadio2MHz = 1055;
inline constexpr int kRadio4MHz = 1056;
inline constexpr int kEditMaximum = 1059;
inline constexpr int kEditMinimum = 1060;

enum class ControlKind : std::uint8_t {
    Label,  // static text, left-aligned, wraps
    PushButton,
    DefaultPushButton,  // the button that Enter presses
    Edit,
    GroupBox,     // frame with a title; never the parent of the controls inside it
    RadioButton,  // automatic; kGroupStart opens a new exclusive group
    CheckBox,     // automatic two-state
    ComboBox,     // drop-down list; `items` fills it; kEditable makes it a drop-down combo
    Frame,        // plain static rectangle that a view takes over
};

// Control style bits.
enum ControlStyle : std::uint32_t {
    kStyleNone = 0,
    kTextCentre = 1u << 0,
    kTextRight = 1u << 1,
    kDigitsOnly = 1u << 2,  // an edit that accepts typed digits only
    kGroupStart = 1u << 3,
    kEditable = 1u << 4,
};

// Dialog frame bits.
enum DialogStyle : std::uint32_t {
    kDialogModalFrame = 0,  // fixed size, caption and system menu
    kDialogResizable = 1u << 0,
    kDialogMinMaxBoxes = 1u << 1,
    kDialogTaskbarButton = 1u << 2,  // recorded; the window manager decides on Linux
};

struct DluRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlTemplate {
    int id = kNoId;
    ControlKind kind = ControlKind::Label;
    std::string_view text;  // UTF-8
    DluRect rect;
    std::uint32_t style = kStyleNone;
    std::span<const std::string_view> items = {};  // combo box initialisation data
};

struct DialogTemplate {
    int id = 0;
    std::string_view caption;
    int width = 0;  // client size in dialog units
    int height = 0;
    std::string_view fontFamily;
    int fontPointSize = 8;
    std::uint32_t style = kDialogModalFrame;
    std::span<const ControlTemplate> controls;
};

extern const DialogTemplate kPinEnableTemplate;     // 102
extern const DialogTemplate kTimeBarTemplate;       // 104
extern const DialogTemplate kChipSettingsTemplate;  // 135
extern const DialogTemplate kMaxMinTemplate;        // 136
extern const DialogTemplate kSerialSetupTemplate;   // 138

// The template for a dialog resource id; null for an unknown id.
const DialogTemplate* findDialogTemplate(int resourceId);

}  // namespace keyscope::res
