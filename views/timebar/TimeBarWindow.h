#pragma once
// The per-key history window: the chart, a Pause/Start button below it and, at
// its right edge, a scroll bar that sets the trigger level all keys share.
// At the end of each scroll gesture the window tells its owner (scrollEnded),
// which writes the level to the board; after every poll the owner calls update().

#include <cstdint>
#include <string>

#include <QPushButton>
#include <QWidget>

#include "device/ChannelRecord.h"
#include "views/timebar/LevelScrollBar.h"
#include "views/timebar/TimeBarChart.h"
#include "views/timebar/TimeBarGeometry.h"

namespace keyscope {

class TimeBarWindow : public QWidget {
    Q_OBJECT
  public:
    // Control ids the dialog resources give these controls; kept as the
    // controls' "controlId" property so tests and tools can find them.
    static constexpr int kChartControlId = 1020;
    static constexpr int kPauseButtonId = 1048;
    static constexpr int kLevelScrollBarId = 1049;

    // Sets the window up hidden: 410 x 315 centred on the screen, titled
    // "Keyscope - <name>", the bar at 255 - L over 0..255. The channel and its
    // trigger level must outlive the window. With an owner the window stays a
    // separate top-level window but belongs to it (views/OwnedWindow.h): a
    // modal owner does not block it and the window manager keeps it in front of
    // the owner. The owner must not delete it through Qt's parent ownership
    // while someone else still owns it.
    explicit TimeBarWindow(ChannelRecord* channel, QWidget* owner = nullptr);

    // After every successful poll: repaint the chart and take its range (as
    // its last paint left it) as the bar's range; the first call after the
    // chart's first paint also places the thumb at the current level. Hides
    // QWidget::update on purpose.
    void update();

    // The channel's name, "TK0".."TK15"; empty without a channel.
    std::string channelName() const;

    // A scroll request by its code (see timebar::ScrollRequest); trackPosition
    // is the dragged thumb's position for ThumbTrack. Qt's slider actions and
    // the bar's gesture ends arrive here.
    void onVerticalScroll(int request, int trackPosition);

    ChannelRecord* channel() const { return channel_; }
    bool paused() const { return paused_; }
    bool scrollPositionSet() const { return scrollPositionSet_; }
    TimeBarChart& chart() { return chart_; }
    QPushButton& pauseButton() { return pauseButton_; }
    LevelScrollBar& levelScrollBar() { return levelScrollBar_; }

  signals:
    // After the window has closed. A receiver may have the window destroyed with
    // deleteLater; the window touches nothing of its own after the signal.
    void closed(ChannelRecord* channel);
    // At the end of every scroll gesture, before the level is stored again.
    void scrollEnded(ChannelRecord* channel);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void placeChildren(QSize client);
    void onSliderAction(int action);
    void togglePause();

    TimeBarChart chart_{this};
    std::int32_t* percentRef_ = nullptr;
    QPushButton pauseButton_{this};
    LevelScrollBar levelScrollBar_{this};
    bool paused_ = false;
    ChannelRecord* channel_ = nullptr;
    bool scrollPositionSet_ = false;
};

}  // namespace keyscope
