#pragma once
// The program's main window: the menu, the key bar graph filling the window,
// the board connection and the open time-bar windows. It coordinates; the
// menu table, command line, scales, CSV writer and dialogs are their own units.
//
// All board traffic runs on one thread from the 50 ms poll timer and the menu
// commands. The timer is killed at the start of each tick and armed again at
// its end, and every board command kills it around its work when polling, so
// a command never overlaps a poll. The trigger write at the end of a
// time-bar scroll gesture, and the SNR test's Apply that makes the same write,
// are the board calls made with the timer armed.

#include <QBasicTimer>
#include <QDialog>
#include <QMenuBar>
#include <QVBoxLayout>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "dashboard/CommandLine.h"
#include "dashboard/DashboardMenu.h"
#include "dashboard/DialogRunner.h"
#include "dashboard/DisplayMode.h"
#include "dashboard/KeyStatisticsWindow.h"
#include "dashboard/SnrTestWindow.h"
#include "device/BoardConnection.h"
#include "dialogs/PinEnableDialog.h"
#include "platform/CloseTarget.h"
#include "views/bargraph/KeyBarGraph.h"
#include "views/timebar/TimeBarWindowList.h"

namespace keyscope {

inline constexpr char kDashboardCaption[] = "Keyscope";
inline constexpr char kMessageOpenFail[] = "Open Touch Demoboard Fail! please re-plugin device!";
inline constexpr char kMessageCloseFail[] = "Close Touch Demoboard Fail! please re-plugin device!";
inline constexpr char kMessageUpdateFail[] =
    "Update demoboard key value fail! please re-try again.";
inline constexpr char kMessageDefaultWriteFail[] =
    "Write KR48CX36 DemoBoard default value fail! please re-try again.";

inline constexpr int kStartWindowHeight = 400;

struct DashboardParts {
    // The connection's transports. Its pauser, messages and notifier must be
    // set and outlive the dashboard, which uses the same pauser and messages.
    BoardCollaborators board;
    // Runs the settings and serial setup dialogs; null runs them modally.
    // Must outlive the dashboard.
    DialogRunner* dialogs = nullptr;
    // Given the window the command line names at each ICE connect: the
    // connection's notifier. Null tells no window. Must outlive the dashboard.
    TargetedCloseNotifier* closeNotifier = nullptr;
};

class DashboardDialog : public QDialog {
    Q_OBJECT
  public:
    explicit DashboardDialog(DashboardParts parts, QWidget* parent = nullptr);
    // Closes the time-bar windows, then the connection (which notifies the
    // window named on the command line).
    ~DashboardDialog() override;

    // Sizes, centres and titles the window and reads the command line (the
    // program's arguments joined by single spaces). A line that names an ICE
    // target connects at once. Call once, before the dialog runs.
    void initialise(std::string_view commandLine);

    // Runs a menu command by id, whatever the menu's state; unknown ids do nothing.
    void runCommand(int id);
    // One poll: read, repaint or reconnect, arm the timer again.
    void pollTick();

    // Connected to the bar graph's barClicked and each time-bar window's closed
    // and scrollEnded.
    void onBarClicked(ChannelRecord* record);
    void onTimeBarClosed(ChannelRecord* record);
    void onTriggerScrollEnd(ChannelRecord* record);
    // The SNR test window's Apply: the shared trigger level as the scroll gesture
    // sets it, the time-bar lines and the statistics' threshold with it, and over
    // HID the one write of the trigger write.
    LevelApplied applyTriggerLevel(std::int32_t level);

    // State, for tests and tools.
    BoardConnection& board() { return board_; }
    KeyBarGraph& barGraph() { return barGraph_; }
    DashboardMenu& menu() { return menu_; }
    QMenuBar& menuBar() { return menuBar_; }
    const TimeBarWindowList& timeBarWindows() const { return timeBarWindows_; }
    // Null until "Key Statistics" first opens it.
    KeyStatisticsWindow* keyStatisticsWindow() const { return keyStatistics_.get(); }
    // Null until "SNR Test..." first opens it.
    SnrTestWindow* snrTestWindow() const { return snrTest_.get(); }
    // A tool window that a session opens beside the dashboard (the replay's),
    // made with the dashboard as its owner: the dashboard keeps it and destroys
    // it with its other windows, before its connection.
    void adoptToolWindow(std::unique_ptr<QWidget> window) { toolWindow_ = std::move(window); }
    // The keys the next key selection takes without asking (a replay connects
    // with its recording's keys): that selection shows them as if Enable TK
    // Pin had been answered with them; every later one asks as ever.
    void presetKeySelection(std::vector<int> keys) { presetKeys_ = std::move(keys); }
    QWidget* toolWindow() const { return toolWindow_.get(); }
    bool polling() const { return polling_ != 0; }
    bool pollTimerActive() const { return pollTimer_.isActive(); }
    bool displayRaw() const { return displayRaw_ != 0; }
    GraphScale graphScale() const { return {graphMax_, graphMin_}; }
    std::uint32_t linkSelector() const { return linkSelector_; }
    const TargetCommandLine& target() const { return target_; }
    std::int32_t icePercent() const { return icePercent_; }
    const KeyEnabledFlags& keyEnabled() const { return keyEnabled_; }
    const SerialSettings& serialSettings() const { return serialSettings_; }

  signals:
    // Start, Stop, a connect or a disconnect changed whether the dashboard polls.
    void pollingChanged(bool polling);
    // A poll read the board and the views have taken it.
    void polled();

  protected:
    void timerEvent(QTimerEvent* event) override;
    // Enter ends the dialog with OK, as Escape and the close box end it with Cancel.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void readCommandLine(std::string_view line);
    void placeWindow(int width, int height);
    void stayOnTop();
    // detail: the reason behind a failure, shown as the box's detailed text.
    void warn(const char* text, std::string_view detail = {});
    void startPolling() { pollTimer_.start(kPollIntervalMs, this); }
    void stopPolling() { pollTimer_.stop(); }
    // Kills the poll timer around `work` when polling and arms it again afterwards.
    template <class Work>
    void inPollFrame(Work work);
    void setAllRanges();
    void bindKeys(const std::vector<int>& channels, std::int32_t triggerPercent);
    // Sets the enable flags from the preset keys, once, else through the Enable
    // TK Pin dialog; false when the dialog was cancelled.
    bool chooseKeys();
    // Sets the board's trigger level to the low byte, writes the key values (a
    // serial board takes nothing) and gives the board its 300 ms. The write's result.
    int writeTriggerLevel(std::int32_t level);
    std::string linkText() const;

    // Menu commands.
    void onConnect();
    void onConnectSerialPort();
    void onDisconnect();
    void onStart();
    void onStop();
    void onExit();
    void onUpdateKeyValue();
    void onUpdateMaxValue();
    void onRefresh();
    void onUpdate();
    void onDefaultValue();
    void onMaxMinValue();
    void applyKeySelection();
    void onSaveData();
    void onMode();
    void onKeyStatistics();
    void onSnrTest();

    Pauser& pauser_;
    Messages& messages_;
    SerialPort::Clock clock_;  // the connection's, which the SNR test runs by too
    BoardConnection board_;
    TargetedCloseNotifier* closeNotifier_;
    ModalDialogRunner modalRunner_;
    DialogRunner& dialogs_;

    QVBoxLayout layout_{this};
    QMenuBar menuBar_{this};
    DashboardMenu menu_;
    // Shows the connection's records; declared after the connection so it goes first.
    KeyBarGraph barGraph_{this};
    // Newest first; each window belongs to this dialog, so the list goes before it.
    TimeBarWindowList timeBarWindows_;
    // Reads the connection's histories; belongs to this dialog, so it goes before it.
    std::unique_ptr<KeyStatisticsWindow> keyStatistics_;
    std::unique_ptr<SnrTestWindow> snrTest_;  // as Key Statistics
    std::unique_ptr<QWidget> toolWindow_;     // belongs to this dialog too
    std::vector<int> shownKeys_;              // the keys bound to bars, in bar order
    std::optional<std::vector<int>> presetKeys_;
    QBasicTimer pollTimer_;

    KeyEnabledFlags keyEnabled_{};
    std::int32_t polling_ = 0;
    std::uint8_t displayRaw_ = 1;
    std::int32_t graphMax_ = 100;
    std::int32_t graphMin_ = 0;
    std::uint32_t linkSelector_ = kSelectorHid;
    TargetCommandLine target_;
    std::int32_t icePercent_ = 0;
    SerialSettings serialSettings_;
};

}  // namespace keyscope
