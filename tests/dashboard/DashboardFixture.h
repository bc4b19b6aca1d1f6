#pragma once
// The dashboard window on scripted transports: a user's dialog answers as scripts, and the
// fixture that makes, connects and inspects a dashboard.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWindow>
#include <algorithm>
#include <deque>
#include <functional>

#include "dashboard/DashboardDialog.h"
#include "dialogs/DialogBuilder.h"
#include "fakes/DeviceFakes.h"
#include "res/dialog_templates.h"
#include "support/TestFiles.h"

namespace keyscope::fakes {

using Script = std::function<void(QDialog&)>;

// Runs the next queued script on each dialog in place of a user; cancels what it leaves open.
struct ScriptedDialogs final : DialogRunner {
    int run(QDialog& dialog) override {
        dialog.show();
        if (!scripts.empty()) {
            scripts.front()(dialog);
            scripts.pop_front();
        }
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
    std::deque<Script> scripts;
};

template <class T = QAbstractButton>
T* control(QDialog& d, int id) {
    return findControl<T>(d, id);
}
inline Script press(int id) {
    return [id](QDialog& d) { control(d, id)->click(); };
}
inline Script choosePins(const std::vector<int>& keys) {
    return [keys](QDialog& d) {
        for (int k = 0; k < kChannelCount; ++k)
            control(d, res::kCheckTk0 + k)->setChecked(std::count(keys.begin(), keys.end(), k) > 0);
        control(d, res::kButtonPinOk)->click();
    };
}

inline Report byteReport(int value, int trigger = 0) {
    Report r{};
    r[22] = 0x55;  // one byte per key
    std::fill_n(r.begin() + 1, kChannelCount, static_cast<std::uint8_t>(value));
    r[17] = static_cast<std::uint8_t>(trigger);
    return r;
}

inline QPoint centredFor(QSize size) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return screen.topLeft() +
           QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2);
}

class DashboardTest : public ::testing::Test, protected FakeLinks {
  protected:
    void make(bool initialise = true) {
        dash.reset();
        journal.clear();
        dialogs.scripts.clear();
        BoardCollaborators parts = collaborators();
        hid->answeringIds = {kHidDeviceTyped};
        if (adjustParts)
            adjustParts(parts);
        dash = std::make_unique<DashboardDialog>(
            DashboardParts{std::move(parts), &dialogs, &notifier});
        if (initialise)
            dash->initialise({});
    }
    // An ICE start from `line` with `images` good reads of sixteen counts of `value`.
    void startIce(const char* line, int images = 4, int value = 1000) {
        make(false);
        queueIce(images, value);
        dash->initialise(line);
    }
    void queueIce(int images, int value) {
        std::array<std::uint8_t, 65> image{};
        for (std::size_t k = 0; k < kChannelCount; ++k) {
            image[2 * k + 1] = static_cast<std::uint8_t>(value >> 8);
            image[2 * k + 2] = static_cast<std::uint8_t>(value & 0xFF);
        }
        ice->images.insert(ice->images.end(), images, image);
    }
    // Connected over HID: counts 200 under a reference of 210, trigger 0x21.
    void connectHid(Script pins = press(res::kButtonPinOk)) {
        make();
        hid->max.push_back({true, byteReport(210)});
        hid->key.push_back({true, byteReport(200, 0x21)});
        hid->data.insert(hid->data.end(), 5, {true, byteReport(200)});
        dialogs.scripts.push_back(std::move(pins));
        ASSERT_TRUE(dash->menu().trigger(menu::kConnect));
    }
    void expectColumn(bool connected) {
        using namespace menu;
        EXPECT_EQ(dash->menu().isEnabled(kConnect), !connected);
        EXPECT_EQ(dash->menu().isEnabled(kConnectSerialPort), !connected);
        EXPECT_FALSE(dash->menu().isEnabled(kStart));
        for (int id :
             {kDisconnect, kStop, kUpdateKeyValue, kUpdateMaxValue, kRefresh, kUpdate, kEnableTkPin,
              kDefaultValue, kMaxMinValue, kSaveData, kMode, kKeyStatistics, kSnrTest})
            EXPECT_EQ(dash->menu().isEnabled(id), connected) << id;
    }
    // Records the dialog's lists and selections, picks entries and presses `button`.
    Script serialChoice(int com, int baud, int button = res::kIdOk) {
        return [=, this](QDialog& d) {
            items.clear();
            for (int id : {res::kComboComPort, res::kComboBaudRate}) {
                auto* box = control<QComboBox>(d, id);
                for (int i = 0; i < box->count(); ++i)
                    items << box->itemText(i);
                shownChoice.push_back(box->currentIndex());
                box->setCurrentIndex(id == res::kComboComPort ? com : baud);
            }
            control(d, button)->click();
        };
    }
    // A window manager keeps owned windows above their owner, also a maximized one that stays
    // on top, and minimises them with it. On X11 Qt names the owner (WM_TRANSIENT_FOR) only
    // for dialog-type windows: a plain window with a parent opens behind the dashboard.
    void expectOwnedByTheDashboard(const QWidget& window) {
        ASSERT_NE(window.windowHandle(), nullptr);
        EXPECT_EQ(window.windowHandle()->transientParent(), dash->windowHandle());
        EXPECT_EQ(window.windowHandle()->type(), Qt::Dialog);
        EXPECT_TRUE(window.windowFlags().testFlags(Qt::WindowMinMaxButtonsHint));
    }
    // Opens the SNR test window, the settings kept in a scratch folder, and starts a test of
    // 1 s hands off and 5 touched readings a key. The test polls by hand.
    SnrTestWindow& startSnrTest() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path.c_str());
        EXPECT_TRUE(dash->menu().trigger(menu::kStop));
        EXPECT_TRUE(dash->menu().trigger(menu::kSnrTest));
        SnrTestWindow& window = *dash->snrTestWindow();
        window.setFormSettings({1000, 5, 5.0, 10000});
        window.button(SnrTestWindow::Button::Start).click();
        return window;
    }
    void expectEveryBar(GraphScale scale) {
        EXPECT_EQ(dash->graphScale(), scale);
        for (const BarSlot& slot : dash->barGraph().model().barSlots())
            EXPECT_EQ((GraphScale{slot.rangeMax, slot.rangeMin}), scale);
    }

    QStringList items;
    std::vector<int> shownChoice;
    std::function<void(BoardCollaborators&)> adjustParts;  // run by make() on fresh fakes
    ScriptedDialogs dialogs;
    std::unique_ptr<DashboardDialog> dash;
    const TempDir settingsDir{"keyscope-settings"};
};

}  // namespace keyscope::fakes
