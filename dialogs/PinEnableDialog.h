#pragma once
// The "Enable TK Pin" dialog: one check box per touch key over the
// dashboard's sixteen enable flags.

#include <QDialog>
#include <QIcon>
#include <array>
#include <cstdint>

#include "device/ChannelRecord.h"

namespace keyscope {

using KeyEnabledFlags = std::array<std::int32_t, kChannelCount>;

class PinEnableDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PinEnableDialog(QWidget* parent = nullptr);
    ~PinEnableDialog() override;

    // Runs the dialog modally over `keyEnabled` (not owned): a non-zero flag
    // opens its box ticked; "OK" writes 1 for every ticked box and 0 for every
    // other and returns true; "Cancel" returns false and writes nothing. A null
    // pointer returns false without showing the dialog.
    bool runPinDialog(KeyEnabledFlags* keyEnabled);

    // The same flags for a non-modal run (show()); runPinDialog sets them itself.
    void setKeyEnabled(KeyEnabledFlags* keyEnabled) { keyEnabled_ = keyEnabled; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void initDialog();
    void invert();
    void confirm();

    QIcon icon_;
    KeyEnabledFlags* keyEnabled_ = nullptr;
};

}  // namespace keyscope
