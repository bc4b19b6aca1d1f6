#include "dialogs/PinEnableDialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <QShowEvent>

#include "dialogs/DialogBuilder.h"
#include "res/Resources.h"
#include "res/dialog_templates.h"

namespace keyscope {

PinEnableDialog::PinEnableDialog(QWidget* parent)
    : QDialog(parent), icon_(QString::fromLatin1(applicationIconPath())) {
    buildDialog(*this, res::kPinEnableTemplate);
    // This dialog's OK and Cancel carry their own ids, so they are wired here.
    if (auto* button = findControl<QPushButton>(*this, res::kButtonPinInvert)) {
        connect(button, &QPushButton::clicked, this, &PinEnableDialog::invert);
    }
    if (auto* button = findControl<QPushButton>(*this, res::kButtonPinOk)) {
        connect(button, &QPushButton::clicked, this, &PinEnableDialog::confirm);
    }
    if (auto* button = findControl<QPushButton>(*this, res::kButtonPinCancel)) {
        connect(button, &QPushButton::clicked, this, &QDialog::reject);
    }
}

PinEnableDialog::~PinEnableDialog() = default;

bool PinEnableDialog::runPinDialog(KeyEnabledFlags* keyEnabled) {
    if (keyEnabled == nullptr) {
        return false;
    }
    keyEnabled_ = keyEnabled;
    return exec() == QDialog::Accepted;
}

void PinEnableDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        initDialog();
    }
    QDialog::showEvent(event);
}

void PinEnableDialog::initDialog() {
    setWindowIcon(icon_);
    for (int i = 0; i < kChannelCount; ++i) {
        if (auto* box = findControl<QCheckBox>(*this, res::kCheckTk0 + i)) {
            // Every opening starts from the flags, as a freshly created dialog would.
            box->setChecked(keyEnabled_ != nullptr && (*keyEnabled_)[i] != 0);
        }
    }
}

void PinEnableDialog::invert() {
    for (int i = 0; i < kChannelCount; ++i) {
        if (auto* box = findControl<QCheckBox>(*this, res::kCheckTk0 + i)) {
            box->setChecked(!box->isChecked());
        }
    }
}

void PinEnableDialog::confirm() {
    if (keyEnabled_ != nullptr) {
        for (int i = 0; i < kChannelCount; ++i) {
            const auto* box = findControl<QCheckBox>(*this, res::kCheckTk0 + i);
            (*keyEnabled_)[i] = box != nullptr && box->isChecked() ? 1 : 0;
        }
    }
    accept();
}

}  // namespace keyscope
