#pragma once
// A dashboard wired to scripted transports, recorded pauses and messages, and a
// dialog runner that acts on each dialog instead of waiting for a user.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

#include "dashboard/DashboardDialog.h"
#include "dialogs/DialogBuilder.h"
#include "fakes/DeviceFakes.h"
#include "res/dialog_templates.h"

namespace keyscope::testing_support {

using namespace keyscope::fakes;

// Shows each dialog, runs the next queued script on it and closes it with
// Cancel if the script left it open. With no script queued a dialog is cancelled.
class ScriptedDialogs final : public DialogRunner {
  public:
    using Script = std::function<void(QDialog&)>;
    int run(QDialog& dialog) override {
        titles.push_back(dialog.windowTitle());
        dialog.show();
        if (!scripts.empty()) {
            const Script script = scripts.front();
            scripts.pop_front();
            script(dialog);
        }
        if (dialog.isVisible()) {
            dialog.reject();
        }
        return dialog.result();
    }
    std::deque<Script> scripts;
    std::vector<QString> titles;
};

inline void clickControl(QDialog& dialog, int id) {
    if (auto* button = findControl<QAbstractButton>(dialog, id)) {
        button->click();
    } else {
        ADD_FAILURE() << "no button " << id;
    }
}

// Ticks keys in the pin dialog so that exactly `keys` are set, then OK.
inline ScriptedDialogs::Script choosePins(std::vector<int> keys) {
    return [keys](QDialog& dialog) {
        for (int key = 0; key < kChannelCount; ++key) {
            auto* box = findControl<QAbstractButton>(dialog, res::kCheckTk0 + key);
            ASSERT_NE(box, nullptr);
            box->setChecked(std::find(keys.begin(), keys.end(), key) != keys.end());
        }
        clickControl(dialog, res::kButtonPinOk);
    };
}

inline ScriptedDialogs::Script allPins() {
    return [](QDialog& dialog) { clickControl(dialog, res::kButtonPinOk); };
}

inline Report byteReport(int value, int trigger = 0) {
    Report r = typedReport(0x55, {value, value, value, value, value, value, value, value, value,
                                  value, value, value, value, value, value, value});
    r[17] = static_cast<std::uint8_t>(trigger);  // the key trigger level
    return r;
}

// An ICE memory image of 16 two-byte counts.
inline std::array<std::uint8_t, 65> iceImage(int value) {
    std::array<std::uint8_t, 65> image{};
    for (int k = 0; k < kChannelCount; ++k) {
        image[static_cast<std::size_t>(2 * k + 1)] = static_cast<std::uint8_t>(value >> 8);
        image[static_cast<std::size_t>(2 * k + 2)] = static_cast<std::uint8_t>(value & 0xFF);
    }
    return image;
}

class DashboardTest : public ::testing::Test, protected fakes::FakeLinks {
  protected:
    // Builds the dashboard; scripts queued before this are in place for initialise.
    void make() {
        BoardCollaborators parts = collaborators();
        hid->answeringIds = hidIds;
        dashboard = std::make_unique<DashboardDialog>(DashboardParts{std::move(parts), &dialogs});
    }

    void start(std::string_view commandLine = {}) {
        make();
        dashboard->initialise(commandLine);
    }

    // Answers for a HID open (max, key, one read cycle) and `polls` more reads, 8-bit counts.
    void scriptHidBoard(int polls = 4, int value = 200) {
        hid->max.push_back({true, byteReport(value + 10)});
        hid->key.push_back({true, byteReport(value, 0x21)});
        for (int i = 0; i <= polls; ++i) {
            hid->data.push_back({true, byteReport(value)});
        }
    }

    // A started dashboard connected over HID with the pins chosen by `pins`.
    void connectHid(ScriptedDialogs::Script pins = allPins()) {
        start();
        scriptHidBoard();
        dialogs.scripts.push_back(std::move(pins));
        ASSERT_TRUE(dashboard->menu().trigger(menu::kConnect));
    }

    void scriptIceImages(int count, int value = 1000) {
        for (int i = 0; i < count; ++i) {
            ice->images.push_back(iceImage(value));
        }
    }

    bool journalHas(const std::string& entry) const {
        return std::find(journal.begin(), journal.end(), entry) != journal.end();
    }

    std::vector<int> hidIds{kHidDeviceTyped};
    ScriptedDialogs dialogs;
    std::unique_ptr<DashboardDialog> dashboard;
};

}  // namespace keyscope::testing_support
