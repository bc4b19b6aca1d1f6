#include "dialogs/ChipSettingsDialog.h"

#include <QEvent>
#include <QHelpEvent>
#include <QRadioButton>
#include <QShowEvent>
#include <QStringList>
#include <QToolTip>

#include "dialogs/DialogBuilder.h"
#include "res/dialog_templates.h"

namespace keyscope {
namespace {

constexpr std::int32_t kClockBit = 0x80;

// Breaks a tip at blanks so that each line fits `width` pixels; a word wider
// than that stays whole on its own line.
QString wrapTip(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + u' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
            lines.append(line);
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty()) {
        lines.append(line);
    }
    return lines.join(u'\n');
}

}  // namespace

ChipSettingsDialog::ChipSettingsDialog(BoardConnection* connection, Messages& messages,
                                       QWidget* parent)
    : QDialog(parent), connection_(connection), messages_(messages) {
    buildDialog(*this, res::kChipSettingsTemplate);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->installEventFilter(this);
    }
}

ChipSettingsDialog::~ChipSettingsDialog() = default;

std::optional<QString> ChipSettingsDialog::tipText(int id) {
    switch (id) {
        case res::kEditTriggerLevel:
            return QStringLiteral("set Key Trigger Percent : 0 ~ 255");
        case res::kEditPreScale:
            return QStringLiteral("set Counter Pre-Scale : 0 ~ 3");
        case res::kEditTktmr:
            return QStringLiteral("set TKTMR : 0 ~ 7");
        default:
            return std::nullopt;
    }
}

void ChipSettingsDialog::showEvent(QShowEvent* event) {
    // Every opening reads the connection afresh, as a newly created dialog would.
    if (!event->spontaneous()) {
        initDialog();
    }
    QDialog::showEvent(event);
}

void ChipSettingsDialog::initDialog() {
    std::int32_t tktmr = 0;
    if (connection_ != nullptr) {
        editTriggerLevel_ = connection_->getTriggerLevel();
        editPreScale_ = connection_->getPreScale();
        tktmr = connection_->getTktmr();
        editTktmr_ = tktmr & 0x7F;
    }
    // 4 MHz only for a plain byte with the clock bit; anything wider reads as 2 MHz.
    const bool clock4MHz = (tktmr & kClockBit) != 0 && (tktmr & ~0xFF) == 0;
    if (auto* radio =
            findControl<QRadioButton>(*this, clock4MHz ? res::kRadio4MHz : res::kRadio2MHz)) {
        radio->setChecked(true);
    }
    exchange(ExchangeDirection::ToControls);
}

bool ChipSettingsDialog::exchange(ExchangeDirection direction) {
    DataExchange dx(*this, messages_, direction);
    dx.integer(res::kEditTriggerLevel, editTriggerLevel_, 0, 255);
    dx.integer(res::kEditPreScale, editPreScale_, 0, 255);
    dx.integer(res::kEditTktmr, editTktmr_, 0, 7);
    return dx.ok();
}

void ChipSettingsDialog::showFailure(const char* text) {
    messages_.show(text, kChipSettingsMessageCaption, MessageIcon::Exclamation);
}

void ChipSettingsDialog::accept() {
    // The exchange's own failure is shown but does not stop the checks: they run
    // on whatever the fields hold, and the closing exchange below fails again.
    exchange(ExchangeDirection::FromControls);

    // No rollback: a value that passed is stored even when a later one fails.
    if (editTriggerLevel_ < 0 || editTriggerLevel_ > 255) {
        showFailure(kChipSettingsByteRangeMessage);
        return;
    }
    if (connection_ != nullptr) {
        connection_->setTriggerLevel(editTriggerLevel_ & 0xFF);
    }
    // The label says 0~3, but the chip takes the whole byte.
    if (editPreScale_ < 0 || editPreScale_ > 255) {
        showFailure(kChipSettingsByteRangeMessage);
        return;
    }
    if (connection_ != nullptr) {
        connection_->setPreScale(editPreScale_ & 0xFF);
    }
    if (editTktmr_ < 0 || editTktmr_ > 7) {
        showFailure(kChipSettingsTktmrRangeMessage);
        return;
    }
    std::int32_t tktmr = editTktmr_;
    const auto* radio4MHz = findControl<QRadioButton>(*this, res::kRadio4MHz);
    if (radio4MHz != nullptr && radio4MHz->isChecked()) {
        tktmr |= kClockBit;
    }
    if (connection_ != nullptr) {
        connection_->setTktmr(tktmr & 0xFF);
    }

    if (!exchange(ExchangeDirection::FromControls)) {
        return;
    }
    QDialog::accept();
}

bool ChipSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* control = qobject_cast<QWidget*>(watched);
        const std::optional<QString> tip = tipText(controlId(watched));
        if (control != nullptr && tip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(),
                               wrapTip(*tip, QFontMetrics(QToolTip::font()), kChipSettingsTipWidth),
                               control);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace keyscope
