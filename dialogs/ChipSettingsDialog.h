#pragma once
// The "Default Value" dialog: edits the key trigger level, the counter
// pre-scale and TKTMR with its touch-key clock bit, held by the board
// connection. It never talks to the board; the dashboard writes the settings
// after an OK.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

#include "device/BoardConnection.h"
#include "device/Messages.h"
#include "dialogs/DataExchange.h"

namespace keyscope {

inline constexpr char kChipSettingsMessageCaption[] = "Keyscope - KR48CX36";
inline constexpr char kChipSettingsByteRangeMessage[] =
    "Settings value fail! value must between 0 - 255.";
inline constexpr char kChipSettingsTktmrRangeMessage[] =
    "Settings value fail! value must between 0 - 7.";
inline constexpr int kChipSettingsTipWidth = 50;  // pixels; longer tips wrap at blanks

class ChipSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // `connection` is not owned and may be null (then nothing is read or stored);
    // `messages` shows the dialog's and the data exchange's messages.
    ChipSettingsDialog(BoardConnection* connection, Messages& messages, QWidget* parent = nullptr);
    ~ChipSettingsDialog() override;

    std::int32_t editTriggerLevel() const { return editTriggerLevel_; }
    std::int32_t editPreScale() const { return editPreScale_; }
    std::int32_t editTktmr() const { return editTktmr_; }

    // The tooltip of control `id`; none for a control without one.
    static std::optional<QString> tipText(int id);

  public slots:
    // Checks and stores the settings one by one; stays open on the first
    // failure, keeping what was already stored.
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void initDialog();
    bool exchange(ExchangeDirection direction);
    void showFailure(const char* text);

    std::int32_t editTriggerLevel_ = 0;
    std::int32_t editPreScale_ = 0;
    std::int32_t editTktmr_ = 0;
    BoardConnection* connection_ = nullptr;
    Messages& messages_;
};

}  // namespace keyscope
