#pragma once
// The serial setup dialog (resource 138): COM port and baud rate for the
// serial link, chosen by list position and stored into the dashboard's
// settings only on "Connect".

#include <QDialog>

#include "device/SerialPort.h"

namespace keyscope {

class SerialSetupDialog : public QDialog {
    Q_OBJECT
  public:
    // `settings` (not owned) must outlive the dialog; null makes the dialog
    // select nothing and store nothing.
    explicit SerialSetupDialog(SerialSettings* settings, QWidget* parent = nullptr);
    ~SerialSetupDialog() override;

  public slots:
    // Stores both selection indices (-1 for a list without a selection) and closes with OK.
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SerialSettings* settings_;
};

}  // namespace keyscope
