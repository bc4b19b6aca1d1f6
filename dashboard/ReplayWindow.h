#pragma once
// The replay's handle, "Replay - FILE", beside the dashboard that plays it:
// where the recording is (mm:ss.s of its total), a slider to seek to any row,
// the pace, Pause/Play, Loop and the state (playing, paused, finished).
//
// Pause and Play are Device > Stop and Start: the window runs those commands
// and follows them when the menu runs them, so both always agree. At the end
// of a recording that does not loop it stops the dashboard as Stop does, so
// the histories, time-bar windows and statistics keep what they showed; Play
// (or Start) from there plays the recording again from its first row. A seek
// moves the simulated board to that row for the next poll and leaves what the
// dashboard already holds as it is.

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdint>

#include "sim/Recording.h"
#include "sim/ReplayControl.h"

namespace keyscope {

class DashboardDialog;

// "01:02.3": a recording time in minutes, seconds and tenths (minutes grow past 99).
QString recordingTime(std::int64_t ms);

class ReplayWindow : public QWidget {
    Q_OBJECT
  public:
    enum class State { Playing, Paused, Finished };

    // The dashboard owns the window (views/OwnedWindow.h) and must be the one
    // whose board plays `recording` and follows `control`; both outlive the
    // window. `name` is the file's name for the title; speed and loop are the
    // replay's at its start.
    ReplayWindow(DashboardDialog& dashboard, const sim::Recording& recording,
                 sim::ReplayControl& control, const QString& name, double speed, bool loop);

    State state() const;
    // Moves the board to `row` (clamped to the recording) for its next reading.
    void seek(int row);

    QSlider& slider() { return slider_; }
    QComboBox& speedBox() { return speed_; }
    QPushButton& playButton() { return play_; }
    QCheckBox& loopBox() { return loop_; }
    const QLabel& positionLabel() const { return position_; }
    const QLabel& stateLabel() const { return state_; }

    // Beside the dashboard as it stands now; best once it is shown and its frame known.
    void placeBesideDashboard();

  private:
    void onPolled();
    void onPollingChanged(bool polling);
    void onPlayClicked();
    // The slider and the position label at `row`, without seeking.
    void showRow(int row);
    void showState();

    DashboardDialog& dashboard_;
    const sim::Recording& recording_;
    sim::ReplayControl& control_;
    bool finished_ = false;

    QVBoxLayout layout_{this};
    QLabel position_;
    QSlider slider_{Qt::Horizontal};
    QHBoxLayout controls_;
    QPushButton play_;
    QLabel speedLabel_;
    QComboBox speed_;
    QCheckBox loop_;
    QLabel state_;
};

}  // namespace keyscope
