#pragma once
// "SNR Test...": the guided SNR test over the keys the dashboard shows, as a
// window of four steps: the settings; hands off the keys, with a countdown;
// each key touched in turn, on a grid that turns green; the results, with the
// suggested trigger level, Apply and Save Report. Modeless, so polling goes
// on: the dashboard hands every poll on (pollDone), the window feeds the new
// readings to the engine (device/SnrTest.h) and shows what changed at most
// four times a second. Closing the window abandons a running test; results stay.

#include <QBasicTimer>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dashboard/SnrKeyGrid.h"
#include "device/BoardConnection.h"
#include "device/Messages.h"
#include "device/SnrTest.h"

namespace keyscope {

inline constexpr char kSnrTestTitle[] = "Keyscope - SNR Test";
// The countdown moves by whole seconds and the grid by readings that come at
// 20 a second per key: four looks a second read as live and cost next to nothing.
inline constexpr int kSnrRefreshMs = 250;

// What became of an applied trigger level.
enum class LevelApplied {
    Written,      // the board took it
    WriteFailed,  // the dashboard holds it; the board kept its old level
    ProgramOnly,  // the link takes no write (serial, ICE): the board keeps its own
};

struct SnrWindowHooks {
    std::function<std::int64_t()> clock = steadyMilliseconds;  // the engine's, monotonic ms
    std::function<std::string()> link;  // how the board is reached, as the report names it
    // Sets the shared trigger level as a time-bar scroll gesture does.
    std::function<LevelApplied(std::int32_t level)> applyLevel;
};

class SnrTestWindow : public QWidget {
    Q_OBJECT
  public:
    enum class Page { Settings, Quiet, Touch, Results };
    enum class Button { Start, RunAgain, GoOn, FinishEarly, Apply, SaveReport, NewTest, Count };

    // The board and messages must outlive the window. With an owner the window
    // belongs to it and stays in front of it (views/OwnedWindow.h). The form
    // starts from the settings of the last test started, kept with QSettings.
    SnrTestWindow(const BoardConnection& board, Messages& messages, SnrWindowHooks hooks,
                  QWidget* owner = nullptr);

    // The keys the next test covers, in order; a running test keeps its own.
    void setShownKeys(const std::vector<int>& keys);
    // After a successful poll: the readings it brought go to a running test.
    void pollDone();
    // The board was disconnected: a running test stops unfinished.
    void stopUpdates();
    // Moves the test on by the clock and shows what changed; the window's own
    // timer calls it while a phase runs.
    void refresh();

    // The settings the form holds, and the form set to some.
    SnrSettings formSettings() const;
    void setFormSettings(const SnrSettings& settings);

    Page page() const { return static_cast<Page>(pages_.currentIndex()); }
    const SnrTest& test() const { return test_; }
    const SnrResults& results() const { return results_; }
    QPushButton& button(Button which) { return buttons_[static_cast<std::size_t>(which)]; }
    SnrKeyGrid& grid() { return grid_; }
    const QTableWidget& resultsTable() const { return table_; }
    // The texts of the labels that the current page shows, one a line.
    QString shownText() const;

  protected:
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildSettingsPage();
    void buildQuietPage();
    void buildTouchPage();
    void buildResultsPage();
    void showPage(Page page);
    void start();
    void showQuietPhase();
    void runQuietAgain();
    void beginTouch();
    void finishEarly();
    void abandon(const QString& why);
    void showSettingsState();
    void showLive();
    void showResults();
    void apply();
    void saveReport();
    bool running() const;
    std::int64_t now() const { return hooks_.clock(); }

    const BoardConnection& board_;
    Messages& messages_;
    SnrWindowHooks hooks_;
    std::vector<int> shownKeys_;
    SnrTest test_;
    SnrSampleFeed feed_;
    SnrResults results_;
    QBasicTimer refresh_;
    std::int64_t shownSeconds_ = -1;  // the countdown's figure on screen
    QString stoppedWhy_;              // why the last test stopped, until the next starts

    QVBoxLayout layout_{this};
    QStackedWidget pages_;
    std::array<QPushButton, static_cast<std::size_t>(Button::Count)> buttons_;
    // Settings.
    QLabel keysText_;
    QSpinBox quietSeconds_;
    QSpinBox touchedReadings_;
    QDoubleSpinBox snrLimit_;
    QSpinBox touchTimeout_;
    QLabel settingsNote_;
    // Hands off.
    QLabel quietHeading_;
    QLabel quietText_;
    QLabel countdown_;
    QLabel flagged_;
    // Touch.
    QLabel touchText_;
    SnrKeyGrid grid_;
    QLabel timeLeft_;
    // Results.
    QTableWidget table_;
    QLabel notes_;
    QLabel applyNote_;
    QLabel saveNote_;
};

}  // namespace keyscope
