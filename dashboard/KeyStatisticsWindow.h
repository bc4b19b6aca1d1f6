#pragma once
// The "Key Statistics" window: noise, touch signal and SNR of every shown key,
// computed from the connection's histories after polls, twice a second, with a
// Save button for the table as CSV. Modeless; the dashboard owns it and tells it
// about polls, the shown keys and the disconnect.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "dashboard/CsvExport.h"
#include "device/BoardConnection.h"
#include "device/KeyStatistics.h"
#include "device/Messages.h"

namespace keyscope {

inline constexpr char kKeyStatisticsTitle[] = "Keyscope - Key Statistics";
// Figures over a 30-second history move slowly; twice a second reads as live and costs half
// of four times.
inline constexpr int kStatisticsRefreshMs = 500;

// What the SNR cell shows: green at 5:1 or better, red below, grey while unknown.
inline constexpr QRgb kSnrGoodColour = 0xFF2E9E44;
inline constexpr QRgb kSnrWeakColour = 0xFFD32F2F;
inline constexpr QRgb kSnrUnknownColour = 0xFFBDBDBD;
QRgb snrColour(const KeyFigures& figures);

class KeyStatisticsWindow : public QWidget {
    Q_OBJECT
  public:
    // Columns of the table, one row per shown key.
    enum Column { Key, Samples, Touched, NoisePp, NoiseRms, Signal, Snr, ColumnCount };

    // The board and messages must outlive the window. `threshold` gives the
    // touch threshold (the shared trigger level) at each refresh. With an owner
    // the window belongs to it and stays in front of it (views/OwnedWindow.h).
    KeyStatisticsWindow(const BoardConnection& board, Messages& messages,
                        std::function<std::int32_t()> threshold, QWidget* owner = nullptr);

    // The keys listed, in order; takes effect at once.
    void setShownKeys(const std::vector<int>& keys);
    // After a successful poll: refreshes now, or at most 500 ms later when the
    // last refresh was more recent. Nothing while hidden or stopped.
    void pollDone();
    // The board was disconnected: no more updates until the next poll; the
    // figures shown stay.
    void stopUpdates();
    // Recomputes every key from the histories and shows the shown keys.
    void refresh();
    // The Save button: the sixteen keys' table into %Y%m%d_%H%M_stats.csv in
    // the current directory, locked and reported as SaveData does. Nothing is
    // written before the first refresh with samples.
    CsvSave save();

    const QTableWidget& table() const { return table_; }
    QPushButton& saveButton() { return saveButton_; }
    int refreshCount() const { return refreshCount_; }
    bool updating() const { return updating_; }
    // The table as CSV, as Save writes it.
    std::string csv() const;

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    void showRows();
    void showRule();

    const BoardConnection& board_;
    Messages& messages_;
    std::function<std::int32_t()> threshold_;
    std::vector<int> shownKeys_;
    std::array<TouchStats, kChannelCount> stats_{};
    bool computed_ = false;
    bool updating_ = false;
    int refreshCount_ = 0;
    QElapsedTimer sinceRefresh_;
    QBasicTimer pending_;
    QString ruleText_;

    QVBoxLayout layout_{this};
    QHBoxLayout buttons_;
    QLabel rule_;
    QTableWidget table_;
    QPushButton saveButton_;
};

}  // namespace keyscope
