#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "dialogs/DialogBuilder.h"
#include "dialogs/PinEnableDialog.h"

namespace keyscope {
namespace {

class PinEnableDialogTest : public testing::Test {
  protected:
    // Runs the modal dialog; `drive` acts on it once it is shown and must close it.
    bool run(const std::function<void()>& drive) {
        QTimer::singleShot(0, &dialog, [this, drive] {
            drive();
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                dialog.done(QDialog::Rejected);
            }
        });
        return dialog.runPinDialog(&flags);
    }
    QCheckBox* box(int key) { return findControl<QCheckBox>(dialog, res::kCheckTk0 + key); }
    void click(int id) { QTest::mouseClick(findControl<QPushButton>(dialog, id), Qt::LeftButton); }
    std::array<bool, kChannelCount> ticks() {
        std::array<bool, kChannelCount> state{};
        for (int key = 0; key < kChannelCount; ++key) {
            state[key] = box(key)->isChecked();
        }
        return state;
    }

    static KeyEnabledFlags firstHalf() {
        KeyEnabledFlags flags{};
        for (int key = 0; key < 8; ++key) {
            flags[key] = 1;
        }
        return flags;
    }

    PinEnableDialog dialog;
    KeyEnabledFlags flags{};
};

TEST_F(PinEnableDialogTest, InvertThenOkSwapsTheColumns) {
    flags = firstHalf();
    std::array<bool, kChannelCount> opened{};
    std::array<bool, kChannelCount> inverted{};
    const bool ok = run([&] {
        opened = ticks();
        click(res::kButtonPinInvert);
        inverted = ticks();
        click(res::kButtonPinOk);
    });
    EXPECT_TRUE(ok);
    for (int key = 0; key < kChannelCount; ++key) {
        SCOPED_TRACE(key);
        EXPECT_EQ(opened[key], key < 8);
        EXPECT_EQ(inverted[key], key >= 8);
        EXPECT_EQ(flags[key], key < 8 ? 0 : 1);
    }
}

TEST_F(PinEnableDialogTest, AnyNonZeroFlagOpensTickedAndComesBackAsOne) {
    flags[3] = 5;
    flags[9] = -1;
    bool ticked3 = false;
    const bool ok = run([&] {
        ticked3 = box(3)->isChecked();
        click(res::kButtonPinOk);
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(ticked3);
    KeyEnabledFlags expected{};
    expected[3] = 1;
    expected[9] = 1;
    EXPECT_EQ(flags, expected);
}

TEST_F(PinEnableDialogTest, CancelAfterInvertChangesNoFlag) {
    flags = firstHalf();
    flags[0] = 7;
    const KeyEnabledFlags before = flags;
    const bool ok = run([&] {
        click(res::kButtonPinInvert);
        click(res::kButtonPinCancel);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(flags, before);
}

TEST_F(PinEnableDialogTest, OkWithEveryBoxClearGivesAllZero) {
    flags = firstHalf();
    const bool ok = run([&] {
        for (int key = 0; key < 8; ++key) {
            QTest::mouseClick(box(key), Qt::LeftButton);
        }
        click(res::kButtonPinOk);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(flags, KeyEnabledFlags{});
}

TEST_F(PinEnableDialogTest, ReopeningStartsFromTheFlagsNotTheLastBoxes) {
    flags = firstHalf();
    run([&] {
        click(res::kButtonPinInvert);
        click(res::kButtonPinCancel);
    });
    std::array<bool, kChannelCount> reopened{};
    run([&] {
        reopened = ticks();
        click(res::kButtonPinCancel);
    });
    for (int key = 0; key < kChannelCount; ++key) {
        EXPECT_EQ(reopened[key], key < 8) << key;
    }
}

TEST_F(PinEnableDialogTest, NoFlagsMeansNoRun) {
    EXPECT_FALSE(dialog.runPinDialog(nullptr));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PinEnableDialogTest, ButtonsCarryTheirOwnIdsAndTexts) {
    EXPECT_EQ(findControl<QPushButton>(dialog, res::kButtonPinInvert)->text(), "Invert");
    EXPECT_EQ(findControl<QPushButton>(dialog, res::kButtonPinOk)->text(), "OK");
    EXPECT_EQ(findControl<QPushButton>(dialog, res::kButtonPinCancel)->text(), "Cancel");
    EXPECT_TRUE(findControl<QPushButton>(dialog, res::kButtonPinOk)->isDefault());
    EXPECT_EQ(box(15)->text(), "TK15");
    EXPECT_EQ(findControl(dialog, res::kIdOk), nullptr);
}

}  // namespace
}  // namespace keyscope
