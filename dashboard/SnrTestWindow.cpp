#include "dashboard/SnrTestWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QTimerEvent>
#include <chrono>

#include "dashboard/KeyStatisticsWindow.h"
#include "dashboard/SnrReport.h"
#include "dashboard/SnrReportFiles.h"
#include "views/OwnedWindow.h"

namespace keyscope {
namespace {

constexpr int kSnrColumn = 6;
constexpr int kMarginInColumn = 7;
constexpr int kMarginOutColumn = 8;

// Where QSettings keeps the form between runs.
constexpr char kQuietKey[] = "snrTest/quietSeconds";
constexpr char kTouchedKey[] = "snrTest/touchedReadings";
constexpr char kLimitKey[] = "snrTest/snrLimit";
constexpr char kTimeoutKey[] = "snrTest/touchTimeoutSeconds";

QSettings store() {
    return QSettings(QStringLiteral("keyscope"), QStringLiteral("keyscope"));
}

QString keyList(const std::vector<int>& keys, const char* separator = " ") {
    QStringList names;
    for (int key : keys) {
        names << QStringLiteral("TK%1").arg(key);
    }
    return names.join(QLatin1String(separator));
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Whole seconds still to go, rounded up: "1" until the very end.
std::int64_t secondsLeft(std::int64_t ms) {
    return (ms + 999) / 1000;
}

QLabel* styledHeading(QLabel* label) {
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* heading(const QString& text) {
    return styledHeading(new QLabel(text));  // the page owns it
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;  // the page's layout owns it
    row->addStretch();
    for (QPushButton* button : buttons) {
        row->addWidget(button);
    }
    return row;
}

std::int64_t utcNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SnrTestWindow::SnrTestWindow(const BoardConnection& board, Messages& messages, SnrWindowHooks hooks,
                             QWidget* owner)
    : QWidget(owner, kOwnedWindowFlags),
      board_(board),
      messages_(messages),
      hooks_(std::move(hooks)),
      table_(0, static_cast<int>(kSnrColumns.size())) {
    setWindowTitle(QString::fromLatin1(kSnrTestTitle));
    static constexpr std::array<const char*, static_cast<std::size_t>(Button::Count)> kTexts{
        "Start", "Run Again", "Go On", "Finish Early", "Apply", "Save Report", "New Test"};
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i].setText(QString::fromLatin1(kTexts[i]));
    }
    buildSettingsPage();
    buildQuietPage();
    buildTouchPage();
    buildResultsPage();
    layout_.addWidget(&pages_);

    connect(&button(Button::Start), &QPushButton::clicked, this, [this] { start(); });
    connect(&button(Button::RunAgain), &QPushButton::clicked, this, [this] { runQuietAgain(); });
    connect(&button(Button::GoOn), &QPushButton::clicked, this, [this] { beginTouch(); });
    connect(&button(Button::FinishEarly), &QPushButton::clicked, this, [this] { finishEarly(); });
    connect(&button(Button::Apply), &QPushButton::clicked, this, [this] { apply(); });
    connect(&button(Button::SaveReport), &QPushButton::clicked, this, [this] { saveReport(); });
    connect(&button(Button::NewTest), &QPushButton::clicked, this,
            [this] { showPage(Page::Settings); });

    // Beside the dashboard, at the screen's left, where Key Statistics does not stand.
    resize(900, 640);
    const QScreen* display = owner != nullptr && owner->screen() != nullptr
                                 ? owner->screen()
                                 : QGuiApplication::primaryScreen();
    if (display != nullptr) {
        const QRect area = display->availableGeometry();
        move(area.left() + 40, area.top() + 60);
    }
    showPage(Page::Settings);
}

void SnrTestWindow::buildSettingsPage() {
    auto* page = new QWidget;  // the stack owns its pages
    auto* column = new QVBoxLayout(page);
    column->addWidget(heading(QStringLiteral("SNR test")));
    keysText_.setWordWrap(true);
    column->addWidget(&keysText_);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    quietSeconds_.setRange(static_cast<int>(kMinQuietMs / 1000),
                           static_cast<int>(kMaxQuietMs / 1000));
    quietSeconds_.setSuffix(QStringLiteral(" s"));
    touchedReadings_.setRange(static_cast<int>(kMinTouchedReadings),
                              static_cast<int>(kMaxTouchedReadings));
    snrLimit_.setRange(kMinSnrLimit, kMaxSnrLimit);
    snrLimit_.setDecimals(1);
    snrLimit_.setSingleStep(0.5);
    touchTimeout_.setRange(static_cast<int>(kMinTouchTimeoutMs / 1000),
                           static_cast<int>(kMaxTouchTimeoutMs / 1000));
    touchTimeout_.setSuffix(QStringLiteral(" s"));
    const auto row = [form](const char* label, QAbstractSpinBox& box, const QString& hint) {
        box.setMinimumWidth(110);
        auto* line = new QHBoxLayout;  // the form owns it
        line->addWidget(&box);
        line->addWidget(new QLabel(hint));
        form->addRow(QString::fromLatin1(label), line);
    };
    row("Quiet time (hands off):", quietSeconds_,
        QStringLiteral("the keys at rest: untouched mean and noise"));
    row("Touched readings per key:", touchedReadings_,
        QStringLiteral("settled readings each key must give, the first %1 of a touch left out")
            .arg(kSettlingReadings));
    row("SNR limit:", snrLimit_, QStringLiteral("a key passes at this signal-to-noise ratio"));
    row("Touch phase time-out:", touchTimeout_,
        QStringLiteral("keys not touched by then are not measured"));
    column->addLayout(form);
    settingsNote_.setWordWrap(true);
    column->addWidget(&settingsNote_);
    column->addStretch();
    column->addLayout(buttonRow({&button(Button::Start)}));
    pages_.addWidget(page);

    const QSettings saved = store();
    const SnrSettings defaults;
    SnrSettings s;
    s.quietMs = saved.value(kQuietKey, static_cast<int>(defaults.quietMs / 1000)).toInt() * 1000LL;
    s.touchedReadings =
        saved.value(kTouchedKey, static_cast<int>(defaults.touchedReadings)).toInt();
    s.snrLimit = saved.value(kLimitKey, defaults.snrLimit).toDouble();
    s.touchTimeoutMs =
        saved.value(kTimeoutKey, static_cast<int>(defaults.touchTimeoutMs / 1000)).toInt() * 1000LL;
    setFormSettings(s);  // the spin boxes keep a remembered value within their ranges
}

void SnrTestWindow::buildQuietPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(styledHeading(&quietHeading_));
    quietText_.setWordWrap(true);
    column->addWidget(&quietText_);
    QFont big = quietHeading_.font();
    big.setPointSizeF(big.pointSizeF() * 3);
    countdown_.setFont(big);
    countdown_.setAlignment(Qt::AlignCenter);
    column->addWidget(&countdown_, 1);
    flagged_.setWordWrap(true);
    column->addWidget(&flagged_);
    column->addStretch();  // takes the countdown's room once it is gone
    column->addLayout(buttonRow({&button(Button::RunAgain), &button(Button::GoOn)}));
    pages_.addWidget(page);
}

void SnrTestWindow::buildTouchPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(heading(QStringLiteral("Touch each key in turn")));
    touchText_.setWordWrap(true);
    column->addWidget(&touchText_);
    column->addWidget(&grid_, 1);
    column->addWidget(&timeLeft_);
    column->addLayout(buttonRow({&button(Button::FinishEarly)}));
    pages_.addWidget(page);
}

void SnrTestWindow::buildResultsPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(heading(QStringLiteral("Results")));
    table_.setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Untouched mean"),
                                      QStringLiteral("noise_pp"), QStringLiteral("noise_rms"),
                                      QStringLiteral("Touched mean"), QStringLiteral("Signal"),
                                      QStringLiteral("SNR"), QStringLiteral("Margin in"),
                                      QStringLiteral("Margin out"), QStringLiteral("Result")});
    table_.verticalHeader()->hide();
    table_.verticalHeader()->setDefaultSectionSize(table_.fontMetrics().height() + 6);
    table_.horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_.horizontalHeader()->setStretchLastSection(true);
    table_.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_.setSelectionMode(QAbstractItemView::NoSelection);
    table_.setFocusPolicy(Qt::NoFocus);
    table_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const std::array<std::pair<int, const char*>, 3> tips{{
        {kMarginInColumn,
         "The level minus the key's largest untouched difference: how much more "
         "noise it takes to fire the key falsely"},
        {kMarginOutColumn,
         "The key's smallest settled touched difference minus the level: how "
         "much weaker a touch may be and still fire"},
        {kSnrColumn, "Signal (untouched mean minus touched mean) over noise_pp"},
    }};
    for (const auto& [tipColumn, tip] : tips) {
        table_.horizontalHeaderItem(tipColumn)->setToolTip(QString::fromLatin1(tip));
    }
    column->addWidget(&table_);
    for (QLabel* label : {&notes_, &applyNote_, &saveNote_}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(label);
    }
    column->addStretch();
    column->addLayout(
        buttonRow({&button(Button::Apply), &button(Button::SaveReport), &button(Button::NewTest)}));
    pages_.addWidget(page);
}

SnrSettings SnrTestWindow::formSettings() const {
    SnrSettings s;
    s.quietMs = quietSeconds_.value() * 1000LL;
    s.touchedReadings = touchedReadings_.value();
    s.snrLimit = snrLimit_.value();
    s.touchTimeoutMs = touchTimeout_.value() * 1000LL;
    return s;
}

void SnrTestWindow::setFormSettings(const SnrSettings& s) {
    quietSeconds_.setValue(static_cast<int>(s.quietMs / 1000));
    touchedReadings_.setValue(static_cast<int>(s.touchedReadings));
    snrLimit_.setValue(s.snrLimit);
    touchTimeout_.setValue(static_cast<int>(s.touchTimeoutMs / 1000));
}

void SnrTestWindow::setShownKeys(const std::vector<int>& keys) {
    shownKeys_.clear();
    for (int key : keys) {
        if (key >= 0 && key < kChannelCount) {
            shownKeys_.push_back(key);
        }
    }
    showSettingsState();
}

void SnrTestWindow::showSettingsState() {
    keysText_.setText(
        shownKeys_.empty()
            ? QStringLiteral("The test covers the keys the dashboard shows.")
            : QStringLiteral("The test covers the %1 keys the dashboard shows: %2. First keep "
                             "your hands off them, then touch each in turn.")
                  .arg(shownKeys_.size())
                  .arg(keyList(shownKeys_)));
    const bool open = board_.isOpen() != 0;
    button(Button::Start).setEnabled(open && !shownKeys_.empty());
    settingsNote_.setText(!open ? QStringLiteral("Connect a board to start the test.")
                          : shownKeys_.empty()
                              ? QStringLiteral("No key is shown: choose keys with Settings > "
                                               "Enable TK Pin.")
                              : stoppedWhy_);
}

void SnrTestWindow::showPage(Page page) {
    pages_.setCurrentIndex(static_cast<int>(page));
    if (page == Page::Settings) {
        showSettingsState();
    }
}

bool SnrTestWindow::running() const {
    const SnrPhase phase = test_.phase();
    return phase == SnrPhase::Quiet || phase == SnrPhase::QuietDone || phase == SnrPhase::Touch;
}

void SnrTestWindow::start() {
    const SnrSettings settings = formSettings();
    QSettings saved = store();
    saved.setValue(kQuietKey, quietSeconds_.value());
    saved.setValue(kTouchedKey, touchedReadings_.value());
    saved.setValue(kLimitKey, snrLimit_.value());
    saved.setValue(kTimeoutKey, touchTimeout_.value());
    stoppedWhy_.clear();
    if (!board_.isOpen() || shownKeys_.empty() ||
        !test_.start(settings, keyCodeKindFor(board_.linkMode()), shownKeys_, now())) {
        showSettingsState();
        return;
    }
    showQuietPhase();
}

void SnrTestWindow::showQuietPhase() {
    feed_.skipTo(board_);  // readings from before, or from while the page waited, are no quiet ones
    quietHeading_.setText(QStringLiteral("Keep your hands off the keys"));
    quietText_.setText(
        QStringLiteral("Every reading now is the keys at rest: their untouched "
                       "mean and their noise. Then the touch phase begins by "
                       "itself."));
    countdown_.show();
    flagged_.clear();
    button(Button::RunAgain).hide();
    button(Button::GoOn).hide();
    shownSeconds_ = -1;
    showPage(Page::Quiet);
    refresh_.start(kSnrRefreshMs, this);
    refresh();
}

void SnrTestWindow::runQuietAgain() {
    if (test_.rerunQuiet(now())) {
        showQuietPhase();
    }
}

void SnrTestWindow::beginTouch() {
    if (!test_.beginTouch(now())) {
        return;
    }
    feed_.skipTo(board_);
    const SnrSettings& s = test_.settings();
    grid_.setKeys(test_.keys(), s.touchedReadings);
    touchText_.setText(
        QStringLiteral("Hold a finger on one key at a time until it turns green: %1 settled "
                       "touched readings each. Lift it between keys.")
            .arg(s.touchedReadings));
    shownSeconds_ = -1;
    showPage(Page::Touch);
    refresh_.start(kSnrRefreshMs, this);
    refresh();
}

void SnrTestWindow::finishEarly() {
    if (test_.finishEarly()) {
        refresh();
    }
}

void SnrTestWindow::abandon(const QString& why) {
    refresh_.stop();
    if (running()) {
        test_ = SnrTest{};
        stoppedWhy_ = why;
        showPage(Page::Settings);
    }
}

void SnrTestWindow::pollDone() {
    if (test_.phase() == SnrPhase::Quiet || test_.phase() == SnrPhase::Touch) {
        feed_.feed(board_, test_, now());
    } else if (page() == Page::Settings &&
               button(Button::Start).isEnabled() != (board_.isOpen() != 0 && !shownKeys_.empty())) {
        showSettingsState();  // a connect whose pin dialog was cancelled binds no keys anew
    }
}

void SnrTestWindow::stopUpdates() {
    abandon(QStringLiteral("The board was disconnected: the test stopped."));
    if (page() == Page::Settings) {
        showSettingsState();
    }
}

void SnrTestWindow::closeEvent(QCloseEvent* event) {
    abandon(QStringLiteral("The window was closed: the test stopped."));
    QWidget::closeEvent(event);
}

void SnrTestWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == refresh_.timerId()) {
        refresh();
    } else {
        QWidget::timerEvent(event);
    }
}

void SnrTestWindow::refresh() {
    test_.advance(now());
    switch (test_.phase()) {
        case SnrPhase::QuietDone:
            if (const std::vector<int> flagged = test_.touchedWhileQuiet(); flagged.empty()) {
                beginTouch();
            } else if (button(Button::GoOn).isHidden()) {
                refresh_.stop();
                quietHeading_.setText(QStringLiteral("Quiet phase over"));
                quietText_.setText(
                    QStringLiteral("A key touched now spoils its untouched mean "
                                   "and noise, and the touch rule made from them."));
                countdown_.hide();
                flagged_.setText(
                    QStringLiteral("%1 touched during the quiet phase (more than %2% of %3 "
                                   "readings left out). Run the phase again with hands off, or "
                                   "go on with %4.")
                        .arg(keyList(flagged, ", "))
                        .arg(kQuietExcludedPercent)
                        .arg(flagged.size() == 1 ? QStringLiteral("its") : QStringLiteral("their"))
                        .arg(flagged.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
                button(Button::RunAgain).show();
                button(Button::GoOn).show();
            }
            return;
        case SnrPhase::Done:
            if (page() != Page::Results) {
                refresh_.stop();
                showResults();
            }
            return;
        case SnrPhase::Quiet:
        case SnrPhase::Touch:
            showLive();
            return;
        case SnrPhase::Idle:
            refresh_.stop();
            return;
    }
}

void SnrTestWindow::showLive() {
    const std::int64_t seconds = secondsLeft(test_.remainingMs(now()));
    const bool quiet = test_.phase() == SnrPhase::Quiet;
    if (seconds != shownSeconds_) {
        shownSeconds_ = seconds;
        if (quiet) {
            countdown_.setText(QStringLiteral("%1 s").arg(seconds));
        } else {
            timeLeft_.setText(QStringLiteral("%1 s left").arg(seconds));
        }
    }
    if (!quiet) {
        for (int key : test_.keys()) {
            grid_.setReadings(key, test_.touchedReadings(key));
        }
    }
}

void SnrTestWindow::showResults() {
    for (int key : test_.keys()) {
        grid_.setReadings(key, test_.touchedReadings(key));
    }
    results_ = test_.results();
    table_.setRowCount(static_cast<int>(results_.keys.size()));
    for (int row = 0; row < table_.rowCount(); ++row) {
        const SnrKeyResult& key = results_.keys[static_cast<std::size_t>(row)];
        const auto cells = snrShownCells(key);
        for (int column = 0; column < table_.columnCount(); ++column) {
            const std::string& text = cells[static_cast<std::size_t>(column)];
            auto* item = new QTableWidgetItem(fromStd(text));  // the table owns its items
            const bool words = column == 0 || column + 1 == table_.columnCount();
            item->setTextAlignment(words ? Qt::AlignLeft | Qt::AlignVCenter
                                         : Qt::AlignRight | Qt::AlignVCenter);
            if (!text.empty() && text.back() == '!') {
                item->setForeground(QColor::fromRgb(kSnrWeakColour));
            }
            table_.setItem(row, column, item);
        }
        QTableWidgetItem* verdict = table_.item(row, table_.columnCount() - 1);
        verdict->setBackground(QColor::fromRgb(key.passed() ? kSnrGoodColour : kSnrWeakColour));
        verdict->setForeground(Qt::white);
    }
    // As high as its rows: the notes stand right under them.
    table_.setFixedHeight(table_.horizontalHeader()->sizeHint().height() +
                          table_.rowCount() * table_.verticalHeader()->defaultSectionSize() +
                          2 * table_.frameWidth());
    notes_.setText(fromStd(snrNotes(results_)).trimmed());
    applyNote_.clear();
    saveNote_.clear();
    button(Button::Apply).setEnabled(results_.suggestion.level.has_value());
    showPage(Page::Results);
}

void SnrTestWindow::apply() {
    if (!results_.suggestion.level || !hooks_.applyLevel) {
        return;
    }
    const std::int32_t level = *results_.suggestion.level;
    if (!board_.isOpen()) {
        applyNote_.setText(
            QStringLiteral("Connect the board to apply trigger level %1.").arg(level));
        return;
    }
    switch (hooks_.applyLevel(level)) {
        case LevelApplied::Written:
            applyNote_.setText(QStringLiteral("Trigger level %1 written to the board.").arg(level));
            break;
        case LevelApplied::WriteFailed:
            applyNote_.setText(QStringLiteral("Trigger level %1 set in the dashboard; the write "
                                              "failed, so the board keeps its old level.")
                                   .arg(level));
            break;
        case LevelApplied::ProgramOnly:
            applyNote_.setText(
                QStringLiteral("Trigger level %1 set in the dashboard: the time-bar lines and "
                               "Key Statistics use it. %2 takes no write, so the board keeps "
                               "its own.")
                    .arg(level)
                    .arg(board_.linkMode() == kLinkSerial ? QStringLiteral("A serial board")
                                                          : QStringLiteral("An ICE target")));
            break;
    }
}

void SnrTestWindow::saveReport() {
    const SnrReport report =
        snrReportFor(board_, hooks_.link ? hooks_.link() : std::string(), results_, utcNowMs());
    const SavedReports saved = saveSnrReportsNow(report, messages_);
    if (saved.result != CsvSave::Saved || saved.paths.empty()) {
        saveNote_.clear();  // the message box has said why
        return;
    }
    QStringList names;
    for (const std::string& path : saved.paths) {
        names << QFileInfo(fromStd(path)).fileName();
    }
    const QString folder = QFileInfo(fromStd(saved.paths.front())).absolutePath();
    saveNote_.setText(QStringLiteral("Saved %1 and %2 in %3.")
                          .arg(names.mid(0, names.size() - 1).join(QStringLiteral(", ")),
                               names.back(), QDir::toNativeSeparators(folder)));
}

QString SnrTestWindow::shownText() const {
    QStringList texts;
    for (const QLabel* label : pages_.currentWidget()->findChildren<QLabel*>()) {
        if (label->isVisibleTo(pages_.currentWidget()) && !label->text().isEmpty()) {
            texts << label->text();
        }
    }
    return texts.join(QLatin1Char('\n'));
}

}  // namespace keyscope
