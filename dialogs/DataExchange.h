#pragma once
// Data exchange between a built dialog's controls and its fields, with the
// toolkit's standard messages. Modelled on one pass over a dialog's fields:
// the first failure shows its message, puts the focus on the failing control
// and ends the pass; every later call of the same pass does nothing.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

#include "device/Messages.h"

class QWidget;

namespace keyscope {

inline constexpr char kMessageNotInteger[] = "Please enter an integer.";
inline constexpr char kMessageIntegerRange[] = "Please enter an integer between %1 and %2.";

enum class ExchangeDirection { ToControls, FromControls };

// The whole text as a decimal integer: blanks and tabs around it, an optional
// sign, digits. A value beyond 32 bits saturates. No value for anything else,
// and none for a zero that is not written starting with '0' (so "-0" fails).
std::optional<std::int32_t> parseDialogInteger(QStringView text);

// The leading integer of a text: blanks skipped, optional sign, digits up to
// the first non-digit; 0 when there is no digit; saturates at 32 bits.
std::int32_t leadingInteger(QStringView text);

class DataExchange {
  public:
    // Messages go to `messages` with the default caption and the exclamation icon.
    DataExchange(QWidget& dialog, Messages& messages, ExchangeDirection direction);

    // Edit `id` and an integer field. Towards the controls the value is written
    // as decimal text. From the controls a text that is not an integer fails
    // with kMessageNotInteger and leaves `value`; an integer is stored, then
    // checked against [minimum, maximum] and failed with kMessageIntegerRange.
    void integer(int id, std::int32_t& value, std::int32_t minimum, std::int32_t maximum);
    void integer(int id, std::int32_t& value);

    // Any control's text (edit, label, button, combo box).
    void text(int id, QString& value);

    // Selection index of combo box `id`; -1 for no selection.
    void comboIndex(int id, std::int32_t& index);

    bool ok() const { return ok_; }
    ExchangeDirection direction() const { return direction_; }

  private:
    void fail(QWidget* control, const QString& message);

    QWidget& dialog_;
    Messages& messages_;
    ExchangeDirection direction_;
    bool ok_ = true;
};

}  // namespace keyscope
