#pragma once

#include "device/Messages.h"

class QWidget;

namespace keyscope {

// Message boxes through QMessageBox, owned by the topmost modal dialog while one runs,
// else by the owner when one is given.
class QtMessages final : public Messages {
  public:
    explicit QtMessages(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

  protected:
    // The detail, when there is one, is the box's detailed text ("Show Details...").
    void present(std::string_view text, std::string_view caption, MessageIcon icon,
                 std::string_view detail) override;

  private:
    QWidget* owner_;
};

}  // namespace keyscope
