#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialogs/DialogBuilder.h"
#include "dialogs/MaxMinDialog.h"

namespace keyscope {
namespace {

class MaxMinDialogTest : public testing::Test {
  protected:
    void open() {
        dialog.setTargets(&maximum, &minimum);
        dialog.show();
    }
    QLineEdit* edit(int id) { return findControl<QLineEdit>(dialog, id); }
    void click(int id) { QTest::mouseClick(findControl<QPushButton>(dialog, id), Qt::LeftButton); }
    void retype(int id, const QString& text) {
        edit(id)->clear();
        QTest::keyClicks(edit(id), text);
    }

    MaxMinDialog dialog;
    std::int32_t maximum = 1200;
    std::int32_t minimum = 1100;
};

TEST_F(MaxMinDialogTest, OpensWithBothBoundsAsDecimalText) {
    open();
    EXPECT_EQ(edit(res::kEditMaximum)->text(), "1200");
    EXPECT_EQ(edit(res::kEditMinimum)->text(), "1100");
    EXPECT_EQ(dialog.windowTitle(), "Keyscope Option Dialog");
}

TEST_F(MaxMinDialogTest, EmptyMaximumHandsBackZero) {
    open();
    edit(res::kEditMaximum)->clear();
    click(res::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(minimum, 1100);
}

TEST_F(MaxMinDialogTest, MinimumAboveMaximumIsHandedBackAsTyped) {
    open();
    retype(res::kEditMaximum, "100");
    retype(res::kEditMinimum, "300");
    click(res::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(maximum, 100);
    EXPECT_EQ(minimum, 300);
}

TEST_F(MaxMinDialogTest, CancelAfterEditingLeavesBoth) {
    open();
    retype(res::kEditMaximum, "5");
    retype(res::kEditMinimum, "6");
    click(res::kIdCancel);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(maximum, 1200);
    EXPECT_EQ(minimum, 1100);
}

TEST_F(MaxMinDialogTest, TypingKeepsOnlyDigits) {
    open();
    retype(res::kEditMinimum, "-4x2");
    EXPECT_EQ(edit(res::kEditMinimum)->text(), "42");
}

TEST_F(MaxMinDialogTest, NegativeBoundOpensWithItsSignAndRoundTrips) {
    minimum = -25;
    open();
    EXPECT_EQ(edit(res::kEditMinimum)->text(), "-25");
    click(res::kIdOk);
    EXPECT_EQ(minimum, -25);
}

TEST_F(MaxMinDialogTest, WithoutTargetsOkWritesNothing) {
    dialog.show();
    QTest::keyClicks(edit(res::kEditMaximum), "7");
    click(res::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(maximum, 1200);
}

}  // namespace
}  // namespace keyscope
