#pragma once
// The "Key Statistics" window: noise, touch signal, SNR and margins of every
// shown key over every reading since the window opened or Reset was pressed,
// not only the 300 of the history, shown twice a second, with the touch
// threshold in use, the span covered, Reset, and Save for the table as CSV.
// Modeless; the dashboard owns it and tells it about polls, the shown keys and
// the disconnect.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "dashboard/CsvExport.h"
#include "device/BoardConnection.h"
#include "device/KeyStatistics.h"
#include "device/Messages.h"

namespace keyscope {

inline constexpr char kKeyStatisticsTitle[] = "Keyscope - Key Statistics";
// Figures over a long session move slowly; twice a second reads as live and costs half
// of four times.
inline constexpr int kStatisticsRefreshMs = 500;

// What the SNR cell shows: green at 5:1 or better, red below, grey while unknown.
// A margin cell that is marked takes the red too.
inline constexpr QRgb kSnrGoodColour = 0xFF2E9E44;
inline constexpr QRgb kSnrWeakColour = 0xFFD32F2F;
inline constexpr QRgb kSnrUnknownColour = 0xFFBDBDBD;
QRgb snrColour(const KeyFigures& figures);

// "12 s", "1 min 12 s", "2 h 05 min": how long a span of whole seconds lasted.
QString spanDuration(std::int64_t seconds);

class KeyStatisticsWindow : public QWidget {
    Q_OBJECT
  public:
    // Columns of the table, one row per shown key.
    enum Column {
        Key,
        Samples,
        Touched,
        NoisePp,
        NoiseRms,
        Signal,
        Snr,
        RestingMax,  // the largest difference of a resting reading
        TouchedMin,  // the smallest difference of a touched reading
        ColumnCount
    };
    using Clock = std::function<std::int64_t()>;  // milliseconds since 1970

    // The board and messages must outlive the window. The touch threshold starts
    // at `threshold`; changing it changes the figures only, never the board. With
    // an owner the window belongs to it and stays in front of it
    // (views/OwnedWindow.h). `clock` dates the span; unset, the system's.
    KeyStatisticsWindow(const BoardConnection& board, Messages& messages, std::int32_t threshold,
                        QWidget* owner = nullptr, Clock clock = {});

    // The keys listed, in order; takes effect at once.
    void setShownKeys(const std::vector<int>& keys);
    // Starts the session again from now, as the window opening and Reset do:
    // the readings the board takes from here on count, none before.
    void reset();
    // After a successful poll: takes the poll's readings, then refreshes now,
    // or at most 500 ms later when the last refresh was more recent. Nothing
    // while hidden or stopped.
    void pollDone();
    // The board was disconnected: no more updates until the next poll; the
    // figures shown stay.
    void stopUpdates();
    // Recomputes every key from the session and shows the shown keys.
    void refresh();
    // The Save button: the sixteen keys' table into %Y%m%d_%H%M_stats.csv in
    // the current directory, locked and reported as SaveData does. Nothing is
    // written before the first refresh with samples.
    CsvSave save();

    const QTableWidget& table() const { return table_; }
    QPushButton& saveButton() { return saveButton_; }
    QPushButton& resetButton() { return resetButton_; }
    QSpinBox& thresholdBox() { return threshold_; }
    const QLabel& spanLabel() const { return span_; }
    int refreshCount() const { return refreshCount_; }
    bool updating() const { return updating_; }
    // The table as CSV, as Save writes it.
    std::string csv() const;

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    TouchRule rule() const;
    void showRule();
    void showRows();
    void showSpan();
    void showMargin(int row, Column column, const std::optional<std::int32_t>& value, bool marked);

    const BoardConnection& board_;
    Messages& messages_;
    Clock clock_;
    std::vector<int> shownKeys_;
    StatisticsSession session_;
    std::array<TouchStats, kChannelCount> stats_{};
    std::array<KeyMargins, kChannelCount> margins_{};
    std::int64_t sinceMs_ = 0;        // when the session began
    std::int64_t lastReadingMs_ = 0;  // when its newest readings came
    bool computed_ = false;
    bool updating_ = false;
    int refreshCount_ = 0;
    QElapsedTimer sinceRefresh_;
    QBasicTimer pending_;
    QString ruleText_;

    QVBoxLayout layout_{this};
    QHBoxLayout settings_;
    QLabel thresholdLabel_;
    QSpinBox threshold_;
    QLabel rule_;
    QLabel span_;
    QTableWidget table_;
    QHBoxLayout buttons_;
    QPushButton resetButton_;
    QPushButton saveButton_;
};

}  // namespace keyscope
