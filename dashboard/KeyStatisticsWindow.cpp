#include "dashboard/KeyStatisticsWindow.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTimerEvent>

#include "views/OwnedWindow.h"

namespace keyscope {
namespace {

constexpr char kUnknown[] = "\u2013";  // an en dash: not enough readings yet
// A trigger level is one byte on the board, but a difference in 16-bit counts can go further.
constexpr int kMaxThreshold = 65535;

QString figureText(const std::optional<double>& figure) {
    return QString::fromStdString(formatFigure(figure, kUnknown));
}

// "1,440": grouped with commas as the window's English texts are, whatever the locale.
QString groupedCount(long count) {
    QString digits = QString::number(count);
    for (auto at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits;
}

std::int64_t systemClock() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

QRgb snrColour(const KeyFigures& figures) {
    if (!figures.snr) {
        return kSnrUnknownColour;
    }
    return figures.weak() ? kSnrWeakColour : kSnrGoodColour;
}

QString spanDuration(std::int64_t seconds) {
    if (seconds < 60) {
        return QStringLiteral("%1 s").arg(seconds);
    }
    if (seconds < 3600) {
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    }
    return QStringLiteral("%1 h %2 min")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'));
}

KeyStatisticsWindow::KeyStatisticsWindow(const BoardConnection& board, Messages& messages,
                                         std::int32_t threshold, QWidget* owner, Clock clock)
    : QWidget(owner, kOwnedWindowFlags),
      board_(board),
      messages_(messages),
      clock_(clock ? std::move(clock) : Clock(systemClock)),
      thresholdLabel_(QStringLiteral("Touch threshold:")),
      table_(0, ColumnCount),
      resetButton_(QStringLiteral("Reset")),
      saveButton_(QStringLiteral("Save")) {
    setWindowTitle(QString::fromLatin1(kKeyStatisticsTitle));
    threshold_.setRange(1, kMaxThreshold);
    threshold_.setValue(threshold);
    threshold_.setToolTip(QStringLiteral(
        "The difference a reading needs to count as touched, and the level the margins are "
        "judged against. It changes the statistics only, not the board."));
    thresholdLabel_.setBuddy(&threshold_);
    table_.setHorizontalHeaderLabels(
        {QStringLiteral("Key"), QStringLiteral("Samples"), QStringLiteral("Touched"),
         QStringLiteral("noise_pp"), QStringLiteral("noise_rms"), QStringLiteral("signal"),
         QStringLiteral("SNR"), QStringLiteral("resting max"), QStringLiteral("touched min")});
    table_.horizontalHeaderItem(RestingMax)
        ->setToolTip(QStringLiteral("The largest difference of a resting reading; marked ! when "
                                    "it reaches the threshold"));
    table_.horizontalHeaderItem(TouchedMin)
        ->setToolTip(QStringLiteral("The smallest difference of a touched reading; marked ! when "
                                    "it stays below the threshold"));
    table_.verticalHeader()->hide();
    // Rows a line of text high, so sixteen keys fit without scrolling.
    table_.verticalHeader()->setDefaultSectionSize(table_.fontMetrics().height() + 6);
    table_.horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_.setSelectionMode(QAbstractItemView::NoSelection);
    table_.setFocusPolicy(Qt::NoFocus);
    rule_.setWordWrap(true);

    settings_.addWidget(&thresholdLabel_);
    settings_.addWidget(&threshold_);
    settings_.addWidget(&rule_, 1);
    buttons_.addWidget(&resetButton_);
    buttons_.addStretch();
    buttons_.addWidget(&saveButton_);
    layout_.addLayout(&settings_);
    layout_.addWidget(&span_);
    layout_.addWidget(&table_);
    layout_.addLayout(&buttons_);
    connect(&saveButton_, &QPushButton::clicked, this, [this] { save(); });
    connect(&resetButton_, &QPushButton::clicked, this, &KeyStatisticsWindow::reset);
    connect(&threshold_, &QSpinBox::valueChanged, this, &KeyStatisticsWindow::refresh);

    // Beside the dashboard, which an ICE viewer maximizes: at the screen's right.
    const int rowHeight = table_.verticalHeader()->defaultSectionSize();
    resize(720, (kChannelCount + 1) * rowHeight + 5 * saveButton_.sizeHint().height() + 10);
    const QScreen* display = owner != nullptr && owner->screen() != nullptr
                                 ? owner->screen()
                                 : QGuiApplication::primaryScreen();
    if (display != nullptr) {
        const QRect area = display->availableGeometry();
        move(std::max(area.left(), area.right() - width() - 40), area.top() + 60);
    }
    reset();
}

void KeyStatisticsWindow::setShownKeys(const std::vector<int>& keys) {
    shownKeys_.clear();
    for (int key : keys) {
        if (key >= 0 && key < kChannelCount) {
            shownKeys_.push_back(key);
        }
    }
    table_.setRowCount(static_cast<int>(shownKeys_.size()));
    for (int row = 0; row < table_.rowCount(); ++row) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (table_.item(row, column) == nullptr) {
                auto* item = new QTableWidgetItem;  // the table owns its items
                item->setTextAlignment(column == Key ? Qt::AlignLeft | Qt::AlignVCenter
                                                     : Qt::AlignRight | Qt::AlignVCenter);
                table_.setItem(row, column, item);
            }
        }
        table_.item(row, Key)->setText(QStringLiteral("TK%1").arg(shownKeys_[row]));
    }
    showRows();
}

void KeyStatisticsWindow::reset() {
    session_.restart(board_);
    sinceMs_ = lastReadingMs_ = clock_();
    refresh();
}

void KeyStatisticsWindow::pollDone() {
    if (!updating_) {
        updating_ = true;
        showRule();
    }
    if (!isVisible()) {
        return;
    }
    const long before = session_.readings();
    session_.take(board_);
    if (session_.readings() != before) {
        lastReadingMs_ = clock_();
    }
    const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : kStatisticsRefreshMs;
    if (since >= kStatisticsRefreshMs) {
        refresh();
    } else if (!pending_.isActive()) {
        pending_.start(static_cast<int>(kStatisticsRefreshMs - since), this);
    }
}

void KeyStatisticsWindow::stopUpdates() {
    updating_ = false;
    pending_.stop();
    showRule();
}

void KeyStatisticsWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != pending_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    pending_.stop();
    if (updating_ && isVisible()) {
        refresh();
    }
}

TouchRule KeyStatisticsWindow::rule() const {
    return touchRuleFor(board_.linkMode(), threshold_.value());
}

void KeyStatisticsWindow::refresh() {
    const TouchRule touch = rule();
    for (int k = 0; k < kChannelCount; ++k) {
        stats_[k] = session_.key(k).touchStats(touch);
        margins_[k] = session_.key(k).margins(touch);
    }
    computed_ = true;
    ++refreshCount_;
    sinceRefresh_.restart();
    ruleText_ = touch.byKeyCode
                    ? QStringLiteral(
                          "Touched: readings whose key code names the key; the "
                          "threshold judges the margins.")
                    : QStringLiteral("Touched: readings whose difference reaches the threshold.");
    showRule();
    showSpan();
    showRows();
}

void KeyStatisticsWindow::showRule() {
    rule_.setText(updating_ || !computed_
                      ? ruleText_
                      : ruleText_ + QStringLiteral(" Not connected: the figures are from "
                                                   "before the disconnect."));
}

void KeyStatisticsWindow::showSpan() {
    const QString since =
        QDateTime::fromMSecsSinceEpoch(sinceMs_).toString(QStringLiteral("HH:mm:ss"));
    const long readings = session_.readings();
    span_.setText(QStringLiteral("since %1, %2, %3 reading%4")
                      .arg(since, spanDuration((lastReadingMs_ - sinceMs_) / 1000),
                           groupedCount(readings),
                           readings == 1 ? QString() : QStringLiteral("s")));
}

void KeyStatisticsWindow::showMargin(int row, Column column,
                                     const std::optional<std::int32_t>& value, bool marked) {
    QTableWidgetItem* cell = table_.item(row, column);
    cell->setText(!value   ? QString::fromUtf8(kUnknown)
                  : marked ? QStringLiteral("%1 !").arg(*value)
                           : QString::number(*value));
    cell->setBackground(marked ? QColor::fromRgb(kSnrWeakColour) : QBrush());
    cell->setForeground(marked ? QColor(Qt::white) : QBrush());
}

void KeyStatisticsWindow::showRows() {
    const std::int32_t threshold = threshold_.value();
    for (int row = 0; row < static_cast<int>(shownKeys_.size()); ++row) {
        const int key = shownKeys_[row];
        const TouchStats& stats = stats_[key];
        const KeyFigures f = stats.figures();
        table_.item(row, Samples)->setText(QString::number(stats.all().count()));
        table_.item(row, Touched)->setText(QString::number(f.touched));
        table_.item(row, NoisePp)->setText(figureText(f.noisePp));
        table_.item(row, NoiseRms)->setText(figureText(f.noiseRms));
        table_.item(row, Signal)->setText(figureText(f.signal));
        QTableWidgetItem* snr = table_.item(row, Snr);
        snr->setText(figureText(f.snr));
        const QColor colour = QColor::fromRgb(snrColour(f));
        snr->setBackground(colour);
        snr->setForeground(f.snr ? QColor(Qt::white) : QColor(Qt::black));
        const KeyMargins& margins = margins_[key];
        showMargin(row, RestingMax, margins.restingMax, margins.restingReaches(threshold));
        showMargin(row, TouchedMin, margins.touchedMin, margins.touchedBelow(threshold));
    }
}

std::string KeyStatisticsWindow::csv() const {
    const StatisticsSpan span{threshold_.value(), sinceMs_,
                              static_cast<double>(lastReadingMs_ - sinceMs_) / 1000.0};
    std::string text = kStatisticsCsvHeader;
    for (int k = 0; k < kChannelCount; ++k) {
        text += statisticsCsvLine(k, stats_[k].all(), stats_[k].figures(), span);
    }
    return text;
}

CsvSave KeyStatisticsWindow::save() {
    if (updating_ && board_.isOpen()) {
        refresh();  // the file holds the figures of this moment
    }
    bool anySamples = false;
    for (const TouchStats& stats : stats_) {
        anySamples = anySamples || stats.all().count() > 0;
    }
    if (!anySamples) {
        return CsvSave::NothingToSave;
    }
    return writeCsvFile(csvFilePathNow("_stats"), csv(), messages_);
}

}  // namespace keyscope
