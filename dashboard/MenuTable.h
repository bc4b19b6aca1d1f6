#pragma once
// The dashboard's menu (resource 131) as data: every item with its command id,
// text, place and initial state, and the item states that a connect or a
// disconnect sets. DashboardMenu turns the table into a menu bar.

#include <array>
#include <string_view>

namespace keyscope::menu {

// Command ids, kept from the menu resource so that tests and tools can name them.
inline constexpr int kEnableTkPin = 32771;
inline constexpr int kConnect = 32772;
inline constexpr int kDisconnect = 32773;
inline constexpr int kExit = 32774;
inline constexpr int kAbout = 32775;
inline constexpr int kDefaultValue = 32776;
inline constexpr int kUpdateMaxValue = 32780;
inline constexpr int kUpdateKeyValue = 32781;
inline constexpr int kStop = 32783;
inline constexpr int kStart = 32784;
inline constexpr int kRefresh = 32786;
inline constexpr int kUpdate = 32788;
inline constexpr int kMaxMinValue = 32789;
inline constexpr int kSaveData = 32790;
inline constexpr int kMode = 32792;
inline constexpr int kConnectSerialPort = 32793;
// Keyscope's own additions, beyond the resource's ids.
inline constexpr int kKeyStatistics = 32801;
inline constexpr int kSnrTest = 32802;

// Where an item stands: in a popup of the menu bar, or on the bar itself.
enum class Place { Bar, Device, Settings, About };

// Popup titles in bar order; a popup stands where its first item is listed.
inline constexpr std::string_view kDeviceTitle = "Device";
inline constexpr std::string_view kSettingsTitle = "Settings";
inline constexpr std::string_view kAboutTitle = "About";
inline constexpr int kSettingsPosition = 1;  // the popup that an ICE command line grays

struct Item {
    int id;
    std::string_view text;
    Place place;
    bool enabled;
    // The string table's entry; the part after the line break is the item's tip.
    std::string_view description = {};
};

// Resource order, plus "Key Statistics" and "SNR Test..." after "Update Key
// Value". "Exit" stands twice, in Device and on the bar, with one id.
inline constexpr std::array<Item, 19> kItems{{
    {kConnect, "Connect", Place::Device, true},
    {kDisconnect, "Disconnect", Place::Device, false},
    {kConnectSerialPort, "Connect Serial Port", Place::Device, true},
    {kStart, "Start", Place::Device, false},
    {kStop, "Stop", Place::Device, false},
    {kUpdateMaxValue, "Update Max Value", Place::Device, false},
    {kUpdateKeyValue, "Update Key Value", Place::Device, false},
    {kKeyStatistics, "Key Statistics", Place::Device, false},
    {kSnrTest, "SNR Test...", Place::Device, false},
    {kExit, "Exit", Place::Device, true},
    {kEnableTkPin, "Enable TK Pin", Place::Settings, false},
    {kDefaultValue, "Default Value", Place::Settings, false},
    {kMaxMinValue, "Max_Min Value", Place::Settings, false},
    {kUpdate, "Update", Place::Bar, false, "\nUpdate Base Value & Max Value"},
    {kRefresh, "Refresh", Place::Bar, false, "\nRefresh Max Value"},
    {kSaveData, "SaveData", Place::Bar, false},
    {kMode, "Mode", Place::Bar, false, "\nRAW / Difference Mode Change"},
    {kAbout, "About", Place::About, true},
    {kExit, "Exit", Place::Bar, true},
}};

// The states set by a successful HID connect, serial connect and Disconnect.
// "Key Statistics" and "SNR Test..." follow the connection over every link (an
// ICE connect too).
struct ConnectRow {
    int id;
    bool hidConnect;
    bool serialConnect;
    bool disconnect;
};

inline constexpr std::array<ConnectRow, 16> kConnectColumns{{
    {kConnect, false, false, true},
    {kDisconnect, true, true, false},
    {kConnectSerialPort, false, false, true},
    {kStart, false, false, false},
    {kStop, true, true, false},
    {kUpdateKeyValue, true, true, false},
    {kUpdateMaxValue, true, true, false},
    {kRefresh, true, true, false},
    {kUpdate, true, true, false},
    {kEnableTkPin, true, true, false},
    {kDefaultValue, true, true, false},
    {kMaxMinValue, true, true, false},
    {kSaveData, true, true, false},
    {kMode, true, true, false},
    {kKeyStatistics, true, true, false},
    {kSnrTest, true, true, false},
}};

enum class Column { HidConnect, SerialConnect, Disconnect };

constexpr bool columnState(const ConnectRow& row, Column column) {
    switch (column) {
        case Column::HidConnect:
            return row.hidConnect;
        case Column::SerialConnect:
            return row.serialConnect;
        case Column::Disconnect:
            return row.disconnect;
    }
    return false;
}

}  // namespace keyscope::menu
