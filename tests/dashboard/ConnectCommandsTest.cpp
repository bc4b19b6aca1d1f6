// Connect, Connect Serial Port, Disconnect and the serial setup dialog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>

#include "dashboard/DashboardFixture.h"
#include "dashboard/SerialSetupDialog.h"

namespace keyscope {
namespace {

using namespace testing_support;
using ::testing::ElementsAre;

// Every item that a connect enables; the rest of the table's items are grayed by it.
const std::vector<int> kEnabledWhenConnected{
    menu::kDisconnect,     menu::kStop,         menu::kUpdateKeyValue,
    menu::kUpdateMaxValue, menu::kRefresh,      menu::kUpdate,
    menu::kEnableTkPin,    menu::kDefaultValue, menu::kMaxMinValue,
    menu::kSaveData,       menu::kMode};
const std::vector<int> kEnabledWhenDisconnected{menu::kConnect, menu::kConnectSerialPort};
const std::vector<int> kColumnItems{
    menu::kConnect,        menu::kDisconnect,   menu::kConnectSerialPort,
    menu::kStart,          menu::kStop,         menu::kUpdateKeyValue,
    menu::kUpdateMaxValue, menu::kRefresh,      menu::kUpdate,
    menu::kEnableTkPin,    menu::kDefaultValue, menu::kMaxMinValue,
    menu::kSaveData,       menu::kMode};

void expectColumn(DashboardMenu& menu, const std::vector<int>& enabled) {
    for (int id : kColumnItems) {
        const bool expected = std::find(enabled.begin(), enabled.end(), id) != enabled.end();
        EXPECT_EQ(menu.isEnabled(id), expected) << id;
    }
    EXPECT_TRUE(menu.isEnabled(menu::kExit));
}

// Picks list entries in the serial setup dialog, then presses the given button.
ScriptedDialogs::Script serialChoice(int com, int baud, int button = res::kIdOk) {
    return [=](QDialog& dialog) {
        findControl<QComboBox>(dialog, res::kComboComPort)->setCurrentIndex(com);
        findControl<QComboBox>(dialog, res::kComboBaudRate)->setCurrentIndex(baud);
        clickControl(dialog, button);
    };
}

TEST_F(DashboardTest, HidConnectAndDisconnectSetTheirMenuColumns) {
    connectHid();
    expectColumn(dashboard->menu(), kEnabledWhenConnected);
    EXPECT_TRUE(dashboard->pollTimerActive());

    ASSERT_TRUE(dashboard->menu().trigger(menu::kDisconnect));
    expectColumn(dashboard->menu(), kEnabledWhenDisconnected);
    EXPECT_FALSE(dashboard->pollTimerActive());
    EXPECT_FALSE(dashboard->polling());
    EXPECT_FALSE(dashboard->board().isOpen());
    EXPECT_TRUE(dashboard->board().getChannel(0)->samples.empty());
}

TEST_F(DashboardTest, HidOpenFailureShowsTheMessageAndLeavesConnectEnabled) {
    hidIds.clear();
    start();
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnect));
    EXPECT_THAT(messages.texts(),
                ElementsAre("Open Touch Demoboard Fail! please re-plugin device!"));
    expectColumn(dashboard->menu(), kEnabledWhenDisconnected);
    EXPECT_TRUE(dialogs.titles.empty());
}

TEST_F(DashboardTest, CloseFailureKeepsTheConnectedMenu) {
    connectHid();
    ice->releaseResult = 0;
    ASSERT_TRUE(dashboard->menu().trigger(menu::kDisconnect));
    EXPECT_THAT(messages.texts(),
                ElementsAre("Close Touch Demoboard Fail! please re-plugin device!"));
    expectColumn(dashboard->menu(), kEnabledWhenConnected);
    EXPECT_TRUE(dashboard->pollTimerActive());
}

TEST_F(DashboardTest, SerialDialogOpensOnComOneAt9600AndRemembersTheLastChoice) {
    start();
    QStringList ports, rates;
    int shownPort = -2, shownRate = -2;
    dialogs.scripts.push_back([&](QDialog& dialog) {
        auto* port = findControl<QComboBox>(dialog, res::kComboComPort);
        auto* rate = findControl<QComboBox>(dialog, res::kComboBaudRate);
        for (int i = 0; i < port->count(); ++i)
            ports << port->itemText(i);
        for (int i = 0; i < rate->count(); ++i)
            rates << rate->itemText(i);
        shownPort = port->currentIndex();
        shownRate = rate->currentIndex();
        serialChoice(2, 2)(dialog);
    });
    serial->failOpen = true;  // the choice is kept even when the port does not open
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnectSerialPort));
    EXPECT_EQ(dialogs.titles.at(0), "LQ-24 Setup UART Dialog");
    EXPECT_EQ(ports, QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(rates, QStringList({"1200", "2400", "4800", "9600"}));
    EXPECT_EQ(shownPort, 0);
    EXPECT_EQ(shownRate, 3);
    EXPECT_TRUE(journalHas("serial open /dev/fakeCOM3"));

    dialogs.scripts.push_back([&](QDialog& dialog) {
        shownPort = findControl<QComboBox>(dialog, res::kComboComPort)->currentIndex();
        shownRate = findControl<QComboBox>(dialog, res::kComboBaudRate)->currentIndex();
    });
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnectSerialPort));
    EXPECT_EQ(shownPort, 2);
    EXPECT_EQ(shownRate, 2);
}

TEST_F(DashboardTest, SerialCancelOpensNothingAndChangesNothing) {
    start();
    dialogs.scripts.push_back(serialChoice(5, 0, res::kIdCancel));
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnectSerialPort));
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(dashboard->serialSettings().comIndex, 0);
    EXPECT_EQ(dashboard->serialSettings().baudIndex, 3);
    EXPECT_EQ(dashboard->linkSelector(), kSelectorHid);
    expectColumn(dashboard->menu(), kEnabledWhenDisconnected);
}

TEST_F(DashboardTest, SerialOpenFailureHasNoMessageOfItsOwn) {
    start();
    serial->failOpen = true;
    dialogs.scripts.push_back(serialChoice(0, 3));
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnectSerialPort));
    // Only the serial port's own plain message.
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].caption.empty());
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kConnectSerialPort));
    EXPECT_FALSE(dashboard->polling());
    EXPECT_EQ(dashboard->linkSelector(), kSelectorSerial);
}

TEST_F(DashboardTest, SerialConnectSetsItsColumnAndLaterConnectReopensSerial) {
    start();
    dialogs.scripts.push_back(serialChoice(1, 0));
    dialogs.scripts.push_back(allPins());
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnectSerialPort));
    EXPECT_EQ(serial->openedPath, "/dev/fakeCOM2");
    EXPECT_EQ(serial->configuredBaud, 1200);
    EXPECT_EQ(dialogs.titles.size(), 2u);  // setup, then the pin dialog
    expectColumn(dashboard->menu(), kEnabledWhenConnected);
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 16);
    EXPECT_FALSE(dashboard->displayRaw());
    EXPECT_TRUE(dashboard->pollTimerActive());

    ASSERT_TRUE(dashboard->menu().trigger(menu::kDisconnect));
    dialogs.scripts.push_back(allPins());
    ASSERT_TRUE(dashboard->menu().trigger(menu::kConnect));
    EXPECT_TRUE(dashboard->board().isOpen());
    EXPECT_EQ(dashboard->board().linkMode(), kLinkSerial);
    // A non-HID selector leaves every item but "Connect" as Disconnect left it.
    EXPECT_FALSE(dashboard->menu().isEnabled(menu::kConnect));
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kConnectSerialPort));
    EXPECT_FALSE(dashboard->menu().isEnabled(menu::kStop));
}

TEST(SerialSetupDialog, OutOfListSettingsSelectNothingAndNoSelectionStoresMinusOne) {
    SerialSettings settings{12, 3};
    SerialSetupDialog dialog(&settings);
    dialog.show();
    auto* port = findControl<QComboBox>(dialog, res::kComboComPort);
    EXPECT_EQ(port->currentIndex(), -1);
    dialog.accept();
    EXPECT_EQ(settings.comIndex, -1);
    EXPECT_EQ(settings.baudIndex, 3);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace keyscope
