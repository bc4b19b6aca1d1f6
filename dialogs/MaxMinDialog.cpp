#include "dialogs/MaxMinDialog.h"

#include <QLineEdit>
#include <QShowEvent>

#include "dialogs/DataExchange.h"
#include "dialogs/DialogBuilder.h"
#include "res/dialog_templates.h"

namespace keyscope {

MaxMinDialog::MaxMinDialog(QWidget* parent) : QDialog(parent) {
    buildDialog(*this, res::kMaxMinTemplate);
}

MaxMinDialog::~MaxMinDialog() = default;

void MaxMinDialog::setTargets(std::int32_t* maximum, std::int32_t* minimum) {
    maximum_ = maximum;
    minimum_ = minimum;
}

void MaxMinDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        initDialog();
    }
    QDialog::showEvent(event);
}

void MaxMinDialog::initDialog() {
    // Written straight into the edits: a negative bound shows with its sign even
    // though the user cannot type one.
    if (auto* edit = findControl<QLineEdit>(*this, res::kEditMaximum); edit && maximum_) {
        edit->setText(QString::number(*maximum_));
    }
    if (auto* edit = findControl<QLineEdit>(*this, res::kEditMinimum); edit && minimum_) {
        edit->setText(QString::number(*minimum_));
    }
}

void MaxMinDialog::accept() {
    if (const auto* edit = findControl<QLineEdit>(*this, res::kEditMaximum); edit && maximum_) {
        *maximum_ = leadingInteger(edit->text());
    }
    if (const auto* edit = findControl<QLineEdit>(*this, res::kEditMinimum); edit && minimum_) {
        *minimum_ = leadingInteger(edit->text());
    }
    QDialog::accept();
}

}  // namespace keyscope
