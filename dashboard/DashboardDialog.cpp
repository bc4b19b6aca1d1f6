#include "dashboard/DashboardDialog.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QScreen>
#include <QTimerEvent>
#include <QWindow>
#include <algorithm>
#include <array>
#include <utility>

#include "dashboard/CsvExport.h"
#include "dashboard/SerialSetupDialog.h"
#include "dashboard/SnrReport.h"
#include "dialogs/ChipSettingsDialog.h"
#include "dialogs/MaxMinDialog.h"
#include "res/Resources.h"

namespace keyscope {
namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

using Command = void (DashboardDialog::*)();

}  // namespace

DashboardDialog::DashboardDialog(DashboardParts parts, QWidget* parent)
    : QDialog(parent),
      pauser_(*parts.board.pauser),
      messages_(*parts.board.messages),
      clock_(parts.board.clock ? parts.board.clock : steadyMilliseconds),
      board_(std::move(parts.board)),
      closeNotifier_(parts.closeNotifier),
      dialogs_(parts.dialogs != nullptr ? *parts.dialogs : modalRunner_),
      menu_(menuBar_, [this](int id) { runCommand(id); }) {
    layout_.setContentsMargins(0, 0, 0, 0);
    layout_.setSpacing(0);
    layout_.setMenuBar(&menuBar_);
    layout_.addWidget(&barGraph_);
    initResources();
    const QIcon icon(QString::fromLatin1(kIconResource));
    setWindowIcon(icon);
    keyEnabled_.fill(1);
}

DashboardDialog::~DashboardDialog() {
    // The windows read channel records of the connection: they go first.
    timeBarWindows_.clear();
    keyStatistics_.reset();
    snrTest_.reset();
    toolWindow_.reset();
    pollTimer_.stop();
    board_.close();
}

void DashboardDialog::initialise(std::string_view commandLine) {
    placeWindow(KeyBarGraph::preferredWidth(5), kStartWindowHeight);
    connect(&barGraph_, &KeyBarGraph::barClicked, this, &DashboardDialog::onBarClicked,
            Qt::UniqueConnection);
    keyEnabled_.fill(1);
    // The extended frame style (no taskbar button, dialog frame) is the window
    // manager's business on Linux.
    polling_ = 0;
    displayRaw_ = 1;
    barGraph_.setRawMode(displayRaw_);
    setWindowTitle(toQString(modeTitle(true)));
    graphMax_ = 100;
    graphMin_ = 0;
    icePercent_ = 0;
    serialSettings_ = SerialSettings{};
    linkSelector_ = kSelectorHid;
    if (!commandLine.empty()) {
        readCommandLine(commandLine);
        if (!target_.namesTarget()) {
            return;
        }
    }
    if (linkSelector_ != kSelectorHid) {
        onConnect();
    }
}

void DashboardDialog::readCommandLine(std::string_view line) {
    menu_.setPopupEnabled(menu::kSettingsPosition, false);
    menu_.setEnabled(menu::kRefresh, true);
    const TargetCommandLine parsed = parseTargetCommandLine(line);
    if (!parsed.namesTarget()) {
        return;
    }
    target_ = parsed;
    stayOnTop();  // before the first show, while that costs nothing
    linkSelector_ = parsed.selector;
    icePercent_ = parsed.icePercent;
    onMode();
    menu_.removeItem(menu::kConnectSerialPort);
}

void DashboardDialog::runCommand(int id) {
    static constexpr std::array<std::pair<int, Command>, 18> kCommands{{
        {menu::kConnect, &DashboardDialog::onConnect},
        {menu::kDisconnect, &DashboardDialog::onDisconnect},
        {menu::kConnectSerialPort, &DashboardDialog::onConnectSerialPort},
        {menu::kStart, &DashboardDialog::onStart},
        {menu::kStop, &DashboardDialog::onStop},
        {menu::kUpdateMaxValue, &DashboardDialog::onUpdateMaxValue},
        {menu::kUpdateKeyValue, &DashboardDialog::onUpdateKeyValue},
        {menu::kExit, &DashboardDialog::onExit},
        {menu::kEnableTkPin, &DashboardDialog::applyKeySelection},
        {menu::kDefaultValue, &DashboardDialog::onDefaultValue},
        {menu::kMaxMinValue, &DashboardDialog::onMaxMinValue},
        {menu::kUpdate, &DashboardDialog::onUpdate},
        {menu::kRefresh, &DashboardDialog::onRefresh},
        {menu::kSaveData, &DashboardDialog::onSaveData},
        {menu::kMode, &DashboardDialog::onMode},
        {menu::kAbout, nullptr},
        {menu::kKeyStatistics, &DashboardDialog::onKeyStatistics},
        {menu::kSnrTest, &DashboardDialog::onSnrTest},
    }};
    const auto* found = std::find_if(kCommands.begin(), kCommands.end(),
                                     [id](const auto& entry) { return entry.first == id; });
    if (found != kCommands.end() && found->second != nullptr) {
        (this->*(found->second))();
    }
}

void DashboardDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() == pollTimer_.timerId()) {
        pollTick();
    }
    QDialog::timerEvent(event);
}

void DashboardDialog::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            done(QDialog::Accepted);
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void DashboardDialog::pollTick() {
    stopPolling();
    polling_ = 0;
    const bool read = board_.readCycle() != 0;
    if (read) {
        barGraph_.refresh();
        updateTimeBarWindows(timeBarWindows_);
        if (keyStatistics_) {
            keyStatistics_->pollDone();
        }
        if (snrTest_) {
            snrTest_->pollDone();
        }
    } else if (!board_.reconnect()) {
        onExit();
    }
    polling_ = 1;
    startPolling();
    if (read) {
        emit polled();  // last: a listener may stop the polling armed again above
    }
}

void DashboardDialog::placeWindow(int width, int height) {
    resize(width, height);
    const QScreen* display = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (display != nullptr) {
        const QRect area = display->geometry();
        move(area.left() + (area.width() - width) / 2, area.top() + (area.height() - height) / 2);
    }
}

// Started by another program as its viewer: stay in sight. Changing the flags of a shown
// widget re-creates its window, which hides the dialog and ends its exec(); a shown dashboard
// passes the hint to its native window instead.
void DashboardDialog::stayOnTop() {
    const Qt::WindowFlags flags = windowFlags() | Qt::WindowStaysOnTopHint;
    if (flags == windowFlags()) {
        return;
    }
    if (!isVisible() || windowHandle() == nullptr) {
        setWindowFlags(flags);
        return;
    }
    overrideWindowFlags(flags);
    windowHandle()->setFlags(flags);
}

void DashboardDialog::warn(const char* text, std::string_view detail) {
    messages_.show(text, kDashboardCaption, MessageIcon::Exclamation, detail);
}

template <class Work>
void DashboardDialog::inPollFrame(Work work) {
    if (polling_) {
        stopPolling();
    }
    work();
    if (polling_) {
        startPolling();
    }
}

void DashboardDialog::setAllRanges() {
    for (int slot = 0; slot < kChannelCount; ++slot) {
        barGraph_.setRange(slot, graphMax_, graphMin_);
    }
}

void DashboardDialog::bindKeys(const std::vector<int>& channels, std::int32_t triggerPercent) {
    barGraph_.resetSlots();
    shownKeys_ = channels;
    if (keyStatistics_) {
        keyStatistics_->setShownKeys(shownKeys_);
    }
    if (snrTest_) {
        snrTest_->setShownKeys(shownKeys_);
    }
    int slot = 0;
    for (int channel : channels) {
        barGraph_.attachChannel(slot++, board_.getChannel(channel));
    }
    barGraph_.setKeyCodeSource(board_.keyCodeAddress());
    barGraph_.setTriggerPercent(triggerPercent);
}

// --- connect commands ---

void DashboardDialog::onConnect() {
    menu_.setEnabled(menu::kConnect, false);
    if (linkSelector_ != kSelectorHid) {
        board_.setTarget(
            {target_.address, target_.channelCount, target_.iramSpace, target_.valueWidth});
        if (closeNotifier_ != nullptr) {
            closeNotifier_->setTarget(
                {target_.notifyWindow, target_.notifyMessage, target_.notifyParam});
        }
    }
    if (!board_.open(linkSelector_)) {
        polling_ = 0;
        menu_.setEnabled(menu::kConnect, true);
        warn(kMessageOpenFail, board_.failureReason());
        return;
    }
    polling_ = 1;
    if (linkSelector_ == kSelectorHid) {
        menu_.applyColumn(menu::Column::HidConnect);
    }
    // Beyond the connect columns: the statistics and the SNR test follow the connection
    // over every link.
    menu_.setEnabled(menu::kKeyStatistics, true);
    menu_.setEnabled(menu::kSnrTest, true);
    applyKeySelection();
    emit pollingChanged(true);
}

void DashboardDialog::onConnectSerialPort() {
    SerialSetupDialog setup(&serialSettings_, this);
    if (dialogs_.run(setup) != QDialog::Accepted) {
        return;
    }
    menu_.setEnabled(menu::kConnectSerialPort, false);
    linkSelector_ = kSelectorSerial;
    board_.setSerialSettings(&serialSettings_);
    if (!board_.open(linkSelector_)) {
        // The serial port has already said why.
        polling_ = 0;
        menu_.setEnabled(menu::kConnectSerialPort, true);
        return;
    }
    polling_ = 1;
    menu_.applyColumn(menu::Column::SerialConnect);
    applyKeySelection();
    emit pollingChanged(true);
}

void DashboardDialog::onDisconnect() {
    if (!board_.close()) {
        warn(kMessageCloseFail);
        return;
    }
    menu_.applyColumn(menu::Column::Disconnect);
    polling_ = 0;
    stopPolling();
    if (keyStatistics_) {
        keyStatistics_->stopUpdates();
    }
    if (snrTest_) {
        snrTest_->stopUpdates();
    }
    emit pollingChanged(false);
}

// --- polling ---

void DashboardDialog::onStart() {
    startPolling();
    menu_.setEnabled(menu::kStop, true);
    menu_.setEnabled(menu::kStart, false);
    polling_ = 1;
    emit pollingChanged(true);
}

void DashboardDialog::onStop() {
    stopPolling();
    menu_.setEnabled(menu::kStop, false);
    menu_.setEnabled(menu::kStart, true);
    polling_ = 0;
    emit pollingChanged(false);
}

void DashboardDialog::onExit() {
    onStop();
    done(QDialog::Accepted);
}

// --- board commands ---

void DashboardDialog::onUpdateKeyValue() {
    inPollFrame([this] {
        if (!board_.readKeyValues()) {
            warn(kMessageUpdateFail, board_.failureReason());
        }
        barGraph_.requestPeakReset(1);
        barGraph_.update();
    });
}

void DashboardDialog::onUpdateMaxValue() {
    inPollFrame([this] {
        if (!board_.readMaxValues()) {
            warn(kMessageUpdateFail, board_.failureReason());
        }
        barGraph_.requestPeakReset(1);
        barGraph_.update();
    });
}

void DashboardDialog::onRefresh() {
    inPollFrame([this] {
        setAllRanges();
        barGraph_.update();
        onUpdateMaxValue();
    });
}

void DashboardDialog::onUpdate() {
    inPollFrame([this] {
        // Update has no message of its own: a failed write or read shows in the next poll.
        static_cast<void>(board_.writeKeyValues());
        pauser_.pause(300);
        static_cast<void>(board_.readMaxValues());
        barGraph_.requestPeakReset(1);
        barGraph_.update();
    });
}

void DashboardDialog::onDefaultValue() {
    inPollFrame([this] {
        // The dialog stores the three settings bytes into the connection on OK.
        ChipSettingsDialog settings(&board_, messages_, this);
        if (dialogs_.run(settings) != QDialog::Accepted) {
            return;
        }
        if (!board_.writeKeyValues()) {
            warn(kMessageDefaultWriteFail, board_.failureReason());
            return;
        }
        pauser_.pause(250);
        // The write went through; reference counts that did not come keep their old values.
        static_cast<void>(board_.readMaxValues());
        barGraph_.setTriggerPercent(board_.getTriggerLevel());
    });
}

void DashboardDialog::onMaxMinValue() {
    inPollFrame([this] {
        // Start from the scale as painting has widened it.
        barGraph_.getRange(graphMax_, graphMin_);
        MaxMinDialog bounds(this);
        bounds.setTargets(&graphMax_, &graphMin_);
        if (dialogs_.run(bounds) == QDialog::Accepted) {
            setAllRanges();
            barGraph_.update();
        }
    });
}

bool DashboardDialog::chooseKeys() {
    if (presetKeys_) {
        for (int key = 0; key < kChannelCount; ++key) {
            const bool preset =
                std::find(presetKeys_->begin(), presetKeys_->end(), key) != presetKeys_->end();
            keyEnabled_[static_cast<std::size_t>(key)] = preset ? 1 : 0;
        }
        presetKeys_.reset();
        return true;
    }
    // Equivalent to runPinDialog on the flags, through the runner.
    PinEnableDialog pins(this);
    pins.setKeyEnabled(&keyEnabled_);
    return dialogs_.run(pins) == QDialog::Accepted;
}

void DashboardDialog::applyKeySelection() {
    if (polling_) {
        stopPolling();
    }
    if (linkSelector_ == kSelectorHid || linkSelector_ == kSelectorSerial) {
        if (chooseKeys()) {
            std::vector<int> shown;
            for (int key = 0; key < kChannelCount; ++key) {
                if (keyEnabled_[static_cast<std::size_t>(key)] != 0) {
                    shown.push_back(key);
                }
            }
            placeWindow(KeyBarGraph::preferredWidth(static_cast<int>(shown.size())),
                        KeyBarGraph::preferredHeight());
            if (board_.isOpen()) {
                bindKeys(shown, board_.getTriggerLevel());
            }
        }
    } else {
        const int count = static_cast<int>(std::min<std::uint32_t>(target_.channelCount, 16));
        placeWindow(KeyBarGraph::preferredWidth(count), KeyBarGraph::preferredHeight());
        stayOnTop();
        showMaximized();
        if (board_.isOpen()) {
            std::vector<int> shown(static_cast<std::size_t>(count));
            for (int key = 0; key < count; ++key) {
                shown[static_cast<std::size_t>(key)] = key;
            }
            bindKeys(shown, icePercent_);
        }
    }
    barGraph_.update();
    if (board_.isOpen() && polling_) {
        startPolling();
    }
    onMode();
}

void DashboardDialog::onSaveData() {
    saveCsvNow(board_, displayRaw_ != 0, messages_);
}

void DashboardDialog::onMode() {
    displayRaw_ = displayRaw_ != 0 ? 0 : 1;
    barGraph_.setRawMode(displayRaw_);
    const GraphScale scale = modeScale(displayRaw_ != 0, board_.isByteValues() != 0);
    graphMax_ = scale.max;
    graphMin_ = scale.min;
    setAllRanges();
    setWindowTitle(toQString(modeTitle(displayRaw_ != 0)));
}

void DashboardDialog::onKeyStatistics() {
    if (!keyStatistics_) {
        keyStatistics_ = std::make_unique<KeyStatisticsWindow>(
            board_, messages_, startingTouchThreshold(board_.getTriggerLevel()), this);
    }
    keyStatistics_->setShownKeys(shownKeys_);
    if (!keyStatistics_->isVisible()) {
        keyStatistics_->reset();  // a window that opens gathers from now
    }
    keyStatistics_->show();
    keyStatistics_->raise();
    keyStatistics_->activateWindow();
    if (board_.isOpen()) {
        keyStatistics_->pollDone();
    } else {
        keyStatistics_->refresh();
    }
}

void DashboardDialog::onSnrTest() {
    if (!snrTest_) {
        SnrWindowHooks hooks{clock_, [this] { return linkText(); },
                             [this](std::int32_t level) { return applyTriggerLevel(level); }};
        snrTest_ = std::make_unique<SnrTestWindow>(board_, messages_, std::move(hooks), this);
    }
    snrTest_->setShownKeys(shownKeys_);
    snrTest_->show();
    snrTest_->raise();
    snrTest_->activateWindow();
}

std::string DashboardDialog::linkText() const {
    if (linkSelector_ == kSelectorHid) {
        return "USB HID";
    }
    if (linkSelector_ == kSelectorSerial) {
        return serialLinkText("COM" + std::to_string(serialSettings_.comIndex + 1),
                              baudForIndex(serialSettings_.baudIndex));
    }
    return iceLinkText(std::min<std::uint32_t>(target_.channelCount, kChannelCount),
                       target_.address, target_.iramSpace != 0);
}

LevelApplied DashboardDialog::applyTriggerLevel(std::int32_t level) {
    barGraph_.setTriggerPercent(level);
    const bool written = writeTriggerLevel(level) != 0;
    barGraph_.update();
    updateTimeBarWindows(timeBarWindows_);  // their trigger lines move
    if (keyStatistics_ && keyStatistics_->isVisible()) {
        keyStatistics_->refresh();  // touched from the new threshold
    }
    const std::int32_t mode = board_.linkMode();
    if (mode != kLinkHidPlain && mode != kLinkHidTyped) {
        return LevelApplied::ProgramOnly;
    }
    return written ? LevelApplied::Written : LevelApplied::WriteFailed;
}

// --- time-bar windows ---

void DashboardDialog::onBarClicked(ChannelRecord* record) {
    openTimeBarWindow(timeBarWindows_, record, this, [this](TimeBarWindow& window) {
        connect(&window, &TimeBarWindow::closed, this, &DashboardDialog::onTimeBarClosed);
        connect(&window, &TimeBarWindow::scrollEnded, this, &DashboardDialog::onTriggerScrollEnd);
    });
}

void DashboardDialog::onTimeBarClosed(ChannelRecord* record) {
    removeTimeBarWindow(timeBarWindows_, record);
}

void DashboardDialog::onTriggerScrollEnd(ChannelRecord* record) {
    const std::int32_t level = record != nullptr && record->percentRef != nullptr
                                   ? *record->percentRef
                                   : barGraph_.triggerPercent();
    // A gesture has no message for a failed write: the level stays where the user put it.
    static_cast<void>(writeTriggerLevel(level));
}

int DashboardDialog::writeTriggerLevel(std::int32_t level) {
    board_.setTriggerLevel(level & 0xFF);
    const int written = board_.writeKeyValues();
    pauser_.pause(300);
    return written;
}

}  // namespace keyscope
