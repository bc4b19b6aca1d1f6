#include "dashboard/SerialSetupDialog.h"

#include <QComboBox>
#include <QShowEvent>

#include "dialogs/DialogBuilder.h"
#include "res/dialog_templates.h"

namespace keyscope {

SerialSetupDialog::SerialSetupDialog(SerialSettings* settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    buildDialog(*this, res::kSerialSetupTemplate);
}

SerialSetupDialog::~SerialSetupDialog() = default;

void SerialSetupDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous() && settings_ != nullptr) {
        // An index outside a list selects nothing rather than a neighbour.
        if (auto* baud = findControl<QComboBox>(*this, res::kComboBaudRate)) {
            baud->setCurrentIndex(settings_->baudIndex < baud->count() ? settings_->baudIndex : -1);
        }
        if (auto* port = findControl<QComboBox>(*this, res::kComboComPort)) {
            port->setCurrentIndex(settings_->comIndex < port->count() ? settings_->comIndex : -1);
        }
    }
    QDialog::showEvent(event);
}

void SerialSetupDialog::accept() {
    if (settings_ != nullptr) {
        if (const auto* baud = findControl<QComboBox>(*this, res::kComboBaudRate)) {
            settings_->baudIndex = baud->currentIndex();
        }
        if (const auto* port = findControl<QComboBox>(*this, res::kComboComPort)) {
            settings_->comIndex = port->currentIndex();
        }
    }
    QDialog::accept();
}

}  // namespace keyscope
