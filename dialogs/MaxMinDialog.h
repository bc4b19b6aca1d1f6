#pragma once
// The "Max_Min Value" dialog: the upper and lower bound of the bar scale,
// typed by hand and handed back without any check.

#include <QDialog>
#include <cstdint>

namespace keyscope {

class MaxMinDialog : public QDialog {
    Q_OBJECT
  public:
    explicit MaxMinDialog(QWidget* parent = nullptr);
    ~MaxMinDialog() override;

    // The caller's two integers (not owned), set once before the run. Without
    // targets the edits open empty and OK writes nothing.
    void setTargets(std::int32_t* maximum, std::int32_t* minimum);

  public slots:
    // Stores the leading integer of each edit (0 for none) and closes with OK.
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void initDialog();

    std::int32_t* maximum_ = nullptr;
    std::int32_t* minimum_ = nullptr;
};

}  // namespace keyscope
