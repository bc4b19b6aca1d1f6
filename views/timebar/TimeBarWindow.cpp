#include "views/timebar/TimeBarWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>

#include "views/OwnedWindow.h"

namespace keyscope {
namespace {

using timebar::ScrollRequest;

// The request a Qt slider action stands for; -1 for none.
int requestForAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return static_cast<int>(ScrollRequest::LineUp);
        case QAbstractSlider::SliderSingleStepAdd:
            return static_cast<int>(ScrollRequest::LineDown);
        case QAbstractSlider::SliderPageStepSub:
            return static_cast<int>(ScrollRequest::PageUp);
        case QAbstractSlider::SliderPageStepAdd:
            return static_cast<int>(ScrollRequest::PageDown);
        case QAbstractSlider::SliderToMinimum:
            return static_cast<int>(ScrollRequest::Top);
        case QAbstractSlider::SliderToMaximum:
            return static_cast<int>(ScrollRequest::Bottom);
        case QAbstractSlider::SliderMove:
            return static_cast<int>(ScrollRequest::ThumbTrack);
        default:
            return -1;
    }
}

}  // namespace

// A plain window rather than a QDialog: Escape and Enter would hide a dialog
// without a close event, leaving the owner's list holding a hidden window.
TimeBarWindow::TimeBarWindow(ChannelRecord* channel, QWidget* owner)
    : QWidget(owner, kOwnedWindowFlags), channel_(channel) {
    // The window's size on Linux excludes the frame, which belongs to the
    // window manager; 410 x 315 is the size of the window proper.
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen != nullptr ? screen->size() : QSize();
    const QRect first = timebar::initialWindowRect(screenSize);
    resize(first.size());
    move(first.topLeft());

    chart_.setProperty("controlId", kChartControlId);
    chart_.setObjectName(QStringLiteral("chart"));
    if (channel_ != nullptr) {
        setWindowTitle(QStringLiteral("Keyscope - %1").arg(QString::fromStdString(channel_->name)));
        chart_.setChannel(channel_);
        percentRef_ = channel_->percentRef;
    }

    pauseButton_.setText(QStringLiteral("Pause"));
    pauseButton_.setProperty("controlId", kPauseButtonId);
    pauseButton_.setObjectName(QStringLiteral("pauseButton"));
    // Enter in the window must not toggle the traces behind the user's back.
    pauseButton_.setAutoDefault(false);
    connect(&pauseButton_, &QPushButton::clicked, this, &TimeBarWindow::togglePause);

    levelScrollBar_.setProperty("controlId", kLevelScrollBarId);
    levelScrollBar_.setObjectName(QStringLiteral("levelScrollBar"));
    levelScrollBar_.setRange(0, 255);
    levelScrollBar_.setValue(
        timebar::mirroredPosition(0, 255, percentRef_ != nullptr ? *percentRef_ : 0));
    // The thumb keeps its smallest size: the bar has no page, only positions.
    levelScrollBar_.setPageStep(1);
    connect(&levelScrollBar_, &QAbstractSlider::actionTriggered, this,
            &TimeBarWindow::onSliderAction);
    connect(&levelScrollBar_, &QAbstractSlider::sliderReleased, this,
            [this] { onVerticalScroll(static_cast<int>(ScrollRequest::ThumbPosition), 0); });
    connect(&levelScrollBar_, &LevelScrollBar::gestureEnded, this,
            [this] { onVerticalScroll(static_cast<int>(ScrollRequest::EndScroll), 0); });

    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, Qt::white);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    placeChildren(first.size());
}

std::string TimeBarWindow::channelName() const {
    return channel_ != nullptr ? channel_->name : std::string();
}

void TimeBarWindow::placeChildren(QSize client) {
    chart_.setGeometry(QRect(QPoint(0, 0), timebar::chartSizeForClient(client)));
    levelScrollBar_.setGeometry(timebar::levelBarRect(client, chart_.height()));
    pauseButton_.setGeometry(timebar::pauseButtonRect(client));
}

void TimeBarWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeChildren(event->size());
}

void TimeBarWindow::update() {
    chart_.update();
    // A new window is painted when it is exposed, which may come after the first poll; until
    // the chart has painted, its range is 0..0 and the bar keeps its opening 0..255.
    if (!chart_.hasRange()) {
        return;
    }
    const std::int32_t min = chart_.getRangeMin();
    const std::int32_t max = chart_.getRangeMax();
    levelScrollBar_.setRange(min, max);
    if (!scrollPositionSet_) {
        const std::int32_t level = percentRef_ != nullptr ? *percentRef_ : 0;
        levelScrollBar_.setValue(timebar::mirroredPosition(min, max, level));
        scrollPositionSet_ = true;
    }
}

void TimeBarWindow::onSliderAction(int action) {
    const int request = requestForAction(action);
    if (request >= 0) {
        onVerticalScroll(request, levelScrollBar_.sliderPosition());
    }
}

void TimeBarWindow::onVerticalScroll(int request, int trackPosition) {
    // Inside an action Qt has already moved sliderPosition but not the value:
    // the value is the thumb the request started from.
    const int min = levelScrollBar_.minimum();
    const int max = levelScrollBar_.maximum();
    const int position = levelScrollBar_.value();
    if (request == static_cast<int>(ScrollRequest::EndScroll)) {
        emit scrollEnded(channel_);
    }
    const timebar::ScrollOutcome outcome =
        timebar::scrollOutcome(request, min, max, position, trackPosition);
    if (outcome.moveThumb) {
        // setValue also moves sliderPosition, so Qt's own step, applied after
        // this action returns, lands where this one put the thumb.
        levelScrollBar_.setValue(outcome.thumb);
    }
    if (percentRef_ != nullptr) {
        *percentRef_ = outcome.level;
    }
}

void TimeBarWindow::togglePause() {
    paused_ = !paused_;
    pauseButton_.setText(paused_ ? QStringLiteral("Start") : QStringLiteral("Pause"));
    chart_.setPaused(paused_);
}

void TimeBarWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed(channel_);
}

}  // namespace keyscope
