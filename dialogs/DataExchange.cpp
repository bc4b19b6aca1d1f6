#include "dialogs/DataExchange.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <limits>

#include "dialogs/DialogBuilder.h"

namespace keyscope {
namespace {

struct Scan {
    std::int32_t value = 0;
    qsizetype end = 0;  // index after the last digit, or 0 when there was none
    bool digits = false;
};

bool isBlankOrTab(QChar c) {
    return c == u' ' || c == u'\t';
}

// Sign and digits from `pos`, saturating at the 32-bit limits.
Scan scanInteger(QStringView text, qsizetype pos) {
    Scan scan;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    std::int64_t magnitude = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
        magnitude = std::min(kLimit, magnitude * 10 + (text[pos].unicode() - u'0'));
        scan.digits = true;
        ++pos;
    }
    if (!scan.digits) {
        return scan;
    }
    scan.end = pos;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    scan.value = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
    return scan;
}

QString controlText(const QWidget* control) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return combo->currentText();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    return {};
}

void setControlText(QWidget* control, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        } else {
            combo->setCurrentIndex(combo->findText(text));
        }
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    }
}

}  // namespace

std::optional<std::int32_t> parseDialogInteger(QStringView text) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlankOrTab(text[pos])) {
        ++pos;
    }
    // A zero result counts only when the text visibly starts with '0'.
    const bool startsWithZero = pos < text.size() && text[pos] == u'0';
    while (pos < text.size() && text[pos].isSpace()) {
        ++pos;
    }
    const Scan scan = scanInteger(text, pos);
    if (!scan.digits || (scan.value == 0 && !startsWithZero)) {
        return std::nullopt;
    }
    pos = scan.end;
    while (pos < text.size() && isBlankOrTab(text[pos])) {
        ++pos;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return scan.value;
}

std::int32_t leadingInteger(QStringView text) {
    qsizetype pos = 0;
    while (pos < text.size() && text[pos].isSpace()) {
        ++pos;
    }
    return scanInteger(text, pos).value;
}

DataExchange::DataExchange(QWidget& dialog, Messages& messages, ExchangeDirection direction)
    : dialog_(dialog), messages_(messages), direction_(direction) {}

void DataExchange::integer(int id, std::int32_t& value, std::int32_t minimum,
                           std::int32_t maximum) {
    if (!ok_) {
        return;
    }
    QWidget* control = findControl(dialog_, id);
    if (direction_ == ExchangeDirection::ToControls) {
        setControlText(control, QString::number(value));
        return;
    }
    const std::optional<std::int32_t> parsed = parseDialogInteger(controlText(control));
    if (!parsed) {
        fail(control, QString::fromUtf8(kMessageNotInteger));
        return;
    }
    value = *parsed;
    if (value < minimum || value > maximum) {
        fail(control, QString::fromUtf8(kMessageIntegerRange).arg(minimum).arg(maximum));
    }
}

void DataExchange::integer(int id, std::int32_t& value) {
    integer(id, value, std::numeric_limits<std::int32_t>::min(),
            std::numeric_limits<std::int32_t>::max());
}

void DataExchange::text(int id, QString& value) {
    if (!ok_) {
        return;
    }
    QWidget* control = findControl(dialog_, id);
    if (direction_ == ExchangeDirection::ToControls) {
        setControlText(control, value);
    } else {
        value = controlText(control);
    }
}

void DataExchange::comboIndex(int id, std::int32_t& index) {
    if (!ok_) {
        return;
    }
    auto* combo = findControl<QComboBox>(dialog_, id);
    if (direction_ == ExchangeDirection::ToControls) {
        if (combo != nullptr) {
            combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
        }
    } else {
        index = combo != nullptr ? combo->currentIndex() : -1;
    }
}

void DataExchange::fail(QWidget* control, const QString& message) {
    ok_ = false;
    messages_.show(message.toStdString(), {}, MessageIcon::Exclamation);
    // The user lands on the entry to correct, with its text selected.
    if (control != nullptr) {
        control->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->selectAll();
        }
    }
}

}  // namespace keyscope
