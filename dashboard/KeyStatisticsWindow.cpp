#include "dashboard/KeyStatisticsWindow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "views/OwnedWindow.h"

namespace keyscope {
namespace {

constexpr char kUnknown[] = "\u2013";  // an en dash: not enough readings yet

QString figureText(const std::optional<double>& figure) {
    return QString::fromStdString(formatFigure(figure, kUnknown));
}

}  // namespace

QRgb snrColour(const KeyFigures& figures) {
    if (!figures.snr) {
        return kSnrUnknownColour;
    }
    return figures.weak() ? kSnrWeakColour : kSnrGoodColour;
}

KeyStatisticsWindow::KeyStatisticsWindow(const BoardConnection& board, Messages& messages,
                                         std::function<std::int32_t()> threshold, QWidget* owner)
    : QWidget(owner, kOwnedWindowFlags),
      board_(board),
      messages_(messages),
      threshold_(std::move(threshold)),
      table_(0, ColumnCount),
      saveButton_(QStringLiteral("Save")) {
    setWindowTitle(QString::fromLatin1(kKeyStatisticsTitle));
    table_.setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Samples"),
                                      QStringLiteral("Touched"), QStringLiteral("noise_pp"),
                                      QStringLiteral("noise_rms"), QStringLiteral("signal"),
                                      QStringLiteral("SNR")});
    table_.verticalHeader()->hide();
    // Rows a line of text high, so sixteen keys fit without scrolling.
    table_.verticalHeader()->setDefaultSectionSize(table_.fontMetrics().height() + 6);
    table_.horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_.setSelectionMode(QAbstractItemView::NoSelection);
    table_.setFocusPolicy(Qt::NoFocus);
    rule_.setWordWrap(true);

    buttons_.addStretch();
    buttons_.addWidget(&saveButton_);
    layout_.addWidget(&rule_);
    layout_.addWidget(&table_);
    layout_.addLayout(&buttons_);
    connect(&saveButton_, &QPushButton::clicked, this, [this] { save(); });

    // Beside the dashboard, which an ICE viewer maximizes: at the screen's right.
    const int rowHeight = table_.verticalHeader()->defaultSectionSize();
    resize(560, (kChannelCount + 1) * rowHeight + 3 * saveButton_.sizeHint().height() + 10);
    const QScreen* display = owner != nullptr && owner->screen() != nullptr
                                 ? owner->screen()
                                 : QGuiApplication::primaryScreen();
    if (display != nullptr) {
        const QRect area = display->availableGeometry();
        move(std::max(area.left(), area.right() - width() - 40), area.top() + 60);
    }
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

void KeyStatisticsWindow::pollDone() {
    if (!updating_) {
        updating_ = true;
        showRule();
    }
    if (!isVisible()) {
        return;
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

void KeyStatisticsWindow::refresh() {
    const TouchRule rule = touchRuleFor(board_.linkMode(), threshold_ ? threshold_() : 0);
    for (int k = 0; k < kChannelCount; ++k) {
        stats_[k] = touchStats(board_.getChannel(k)->samples, k, rule);
    }
    computed_ = true;
    ++refreshCount_;
    sinceRefresh_.restart();
    ruleText_ = rule.byKeyCode ? QStringLiteral("Touched: readings whose key code names the key.")
                               : QStringLiteral(
                                     "Touched: readings whose difference is %1 or more "
                                     "(the trigger level).")
                                     .arg(rule.threshold);
    showRule();
    showRows();
}

void KeyStatisticsWindow::showRule() {
    rule_.setText(updating_ || !computed_
                      ? ruleText_
                      : ruleText_ + QStringLiteral(" Not connected: the figures are from "
                                                   "before the disconnect."));
}

void KeyStatisticsWindow::showRows() {
    for (int row = 0; row < static_cast<int>(shownKeys_.size()); ++row) {
        const TouchStats& stats = stats_[shownKeys_[row]];
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
    }
}

std::string KeyStatisticsWindow::csv() const {
    std::string text = kStatisticsCsvHeader;
    for (int k = 0; k < kChannelCount; ++k) {
        text += statisticsCsvLine(k, stats_[k].all(), stats_[k].figures());
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
