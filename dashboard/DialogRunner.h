#pragma once
// How the dashboard runs its modal dialogs. The program runs them with exec();
// tests substitute a runner that shows a dialog, acts on it and closes it, so
// nothing waits for a user.

#include <QDialog>

namespace keyscope {

class DialogRunner {
  public:
    virtual ~DialogRunner() = default;
    // Runs `dialog` to its end and returns its result (QDialog::Accepted or Rejected).
    virtual int run(QDialog& dialog) = 0;
};

class ModalDialogRunner final : public DialogRunner {
  public:
    int run(QDialog& dialog) override { return dialog.exec(); }
};

}  // namespace keyscope
