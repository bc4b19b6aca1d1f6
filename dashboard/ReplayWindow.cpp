#include "dashboard/ReplayWindow.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSignalBlocker>
#include <algorithm>

#include "dashboard/DashboardDialog.h"
#include "dashboard/MenuTable.h"
#include "views/OwnedWindow.h"

namespace keyscope {
namespace {

constexpr double kSpeeds[] = {0.25, 0.5, 1, 2, 4, 8, 16};

QString speedText(double speed) {
    return QString::number(speed) + QLatin1Char('x');
}

}  // namespace

QString recordingTime(std::int64_t ms) {
    const std::int64_t tenths = std::max<std::int64_t>(0, ms) / 100;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600, 2, 10, QLatin1Char('0'))
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

ReplayWindow::ReplayWindow(DashboardDialog& dashboard, const sim::Recording& recording,
                           sim::ReplayControl& control, const QString& name, double speed,
                           bool loop)
    : QWidget(&dashboard, kOwnedWindowFlags),
      dashboard_(dashboard),
      recording_(recording),
      control_(control),
      speedLabel_(QStringLiteral("Speed:")),
      loop_(QStringLiteral("Loop")) {
    setWindowTitle(QStringLiteral("Replay - ") + name);
    slider_.setRange(0, static_cast<int>(recording_.rows.size()) - 1);
    slider_.setPageStep(std::max(1, slider_.maximum() / 20));
    for (double each : kSpeeds) {
        speed_.addItem(speedText(each), each);
    }
    // A pace given on the command line that the list lacks joins it in its place.
    if (speed_.findData(speed) < 0) {
        const auto at = std::upper_bound(std::begin(kSpeeds), std::end(kSpeeds), speed);
        speed_.insertItem(static_cast<int>(at - std::begin(kSpeeds)), speedText(speed), speed);
    }
    speed_.setCurrentIndex(speed_.findData(speed));
    loop_.setChecked(loop);
    speedLabel_.setBuddy(&speed_);
    position_.setAlignment(Qt::AlignCenter);
    state_.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    state_.setMinimumWidth(state_.fontMetrics().horizontalAdvance(QStringLiteral("finished")));

    controls_.addWidget(&play_);
    controls_.addSpacing(8);
    controls_.addWidget(&speedLabel_);
    controls_.addWidget(&speed_);
    controls_.addSpacing(8);
    controls_.addWidget(&loop_);
    controls_.addStretch();
    controls_.addWidget(&state_);
    layout_.addWidget(&position_);
    layout_.addWidget(&slider_);
    layout_.addLayout(&controls_);

    // The board takes the pace and the loop from here on, as the window shows them.
    control_.speed = speed;
    control_.loop = loop ? 1 : 0;
    connect(&speed_, &QComboBox::currentIndexChanged, this,
            [this] { control_.speed = speed_.currentData().toDouble(); });
    connect(&loop_, &QCheckBox::toggled, this, [this](bool on) { control_.loop = on ? 1 : 0; });
    connect(&play_, &QPushButton::clicked, this, &ReplayWindow::onPlayClicked);
    // Dragging shows where it goes; the board moves once the slider is let go.
    connect(&slider_, &QSlider::sliderMoved, this, &ReplayWindow::showRow);
    connect(&slider_, &QSlider::sliderReleased, this, [this] { seek(slider_.value()); });
    connect(&slider_, &QSlider::valueChanged, this, [this](int row) {
        if (!slider_.isSliderDown()) {
            seek(row);  // a click on the groove, a key
        }
    });
    connect(&dashboard_, &DashboardDialog::polled, this, &ReplayWindow::onPolled);
    connect(&dashboard_, &DashboardDialog::pollingChanged, this, &ReplayWindow::onPollingChanged);

    resize(380, sizeHint().height());
    placeBesideDashboard();
    showRow(control_.row);
    showState();
}

// Where there is room beside the dashboard: left first (Key Statistics opens at the screen's
// right), then below, then above. A dashboard showing sixteen keys leaves none on a small
// screen; then the screen's bottom-left corner, over the dashboard's banner rather than its
// menu or bars.
void ReplayWindow::placeBesideDashboard() {
    const QScreen* display =
        dashboard_.screen() != nullptr ? dashboard_.screen() : QGuiApplication::primaryScreen();
    if (display == nullptr) {
        return;
    }
    constexpr int kGap = 12;
    const QRect area = display->availableGeometry();
    const QRect owner = dashboard_.frameGeometry();
    const QPoint candidates[] = {
        {owner.left() - kGap - width(), owner.top()},
        {owner.left(), owner.bottom() + kGap},
        {owner.left(), owner.top() - kGap - height()},
    };
    for (const QPoint& at : candidates) {
        if (area.contains(QRect(at, size()))) {
            move(at);
            return;
        }
    }
    move(area.left(), area.bottom() - height());
}

ReplayWindow::State ReplayWindow::state() const {
    if (finished_) {
        return State::Finished;
    }
    return dashboard_.polling() ? State::Playing : State::Paused;
}

void ReplayWindow::seek(int row) {
    row = std::clamp(row, 0, slider_.maximum());
    control_.seekRow = row;
    finished_ = false;
    showRow(row);
    showState();
}

void ReplayWindow::onPolled() {
    showRow(control_.row);
    if (control_.ended && !loop_.isChecked() && !finished_) {
        finished_ = true;  // first, so that the Stop below shows as the end
        dashboard_.runCommand(menu::kStop);
        showState();
    }
}

void ReplayWindow::onPollingChanged(bool polling) {
    if (polling && finished_) {
        seek(0);  // Play after the end plays the recording again
    }
    showState();
}

void ReplayWindow::onPlayClicked() {
    dashboard_.runCommand(dashboard_.polling() ? menu::kStop : menu::kStart);
}

void ReplayWindow::showRow(int row) {
    if (!slider_.isSliderDown()) {
        const QSignalBlocker quiet(slider_);
        slider_.setValue(row);
    }
    const auto& rows = recording_.rows;
    const auto at = static_cast<std::size_t>(std::clamp(row, 0, static_cast<int>(rows.size()) - 1));
    position_.setText(recordingTime(rows[at].elapsedMs) + QStringLiteral(" / ") +
                      recordingTime(rows.back().elapsedMs));
}

void ReplayWindow::showState() {
    const State now = state();
    state_.setText(now == State::Playing  ? QStringLiteral("playing")
                   : now == State::Paused ? QStringLiteral("paused")
                                          : QStringLiteral("finished"));
    play_.setText(now == State::Playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    // As the menu allows: neither while the dashboard is not connected.
    play_.setEnabled(dashboard_.menu().isEnabled(menu::kStart) ||
                     dashboard_.menu().isEnabled(menu::kStop));
}

}  // namespace keyscope
