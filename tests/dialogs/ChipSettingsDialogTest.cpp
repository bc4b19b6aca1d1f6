#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>

#include "dialogs/ChipSettingsDialog.h"
#include "dialogs/DialogBuilder.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using Texts = std::vector<std::string>;

const std::string kByteFail = "Settings value fail! value must between 0 - 255.";
const std::string kTktmrFail = "Settings value fail! value must between 0 - 7.";

class ChipSettingsDialogTest : public testing::Test {
  protected:
    BoardConnection& board() { return *fake.board; }

    // Stores the settings in the connection and opens the dialog without a modal loop.
    void open(std::int32_t trigger, std::int32_t preScale, std::int32_t tktmr) {
        board().setTriggerLevel(trigger);
        board().setPreScale(preScale);
        board().setTktmr(tktmr);
        dialog.show();
    }
    QLineEdit* edit(int id) { return findControl<QLineEdit>(dialog, id); }
    QRadioButton* radio(int id) { return findControl<QRadioButton>(dialog, id); }
    void type(std::int32_t trigger, std::int32_t preScale, std::int32_t tktmr) {
        edit(res::kEditTriggerLevel)->setText(QString::number(trigger));
        edit(res::kEditPreScale)->setText(QString::number(preScale));
        edit(res::kEditTktmr)->setText(QString::number(tktmr));
    }
    void click(int id) { QTest::mouseClick(findControl<QPushButton>(dialog, id), Qt::LeftButton); }
    void expectStored(std::int32_t trigger, std::int32_t preScale, std::int32_t tktmr) {
        EXPECT_EQ(board().getTriggerLevel(), trigger);
        EXPECT_EQ(board().getPreScale(), preScale);
        EXPECT_EQ(board().getTktmr(), tktmr);
    }
    bool closedWithOk() const {
        return !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    }

    fakes::FakeBoard fake;
    fakes::RecordingMessages messages;
    ChipSettingsDialog dialog{fake.board.get(), messages};
};

TEST_F(ChipSettingsDialogTest, StartsWithZeroFieldsAndReadsOnlyWhenOpened) {
    board().setTriggerLevel(40);
    EXPECT_EQ(dialog.editTriggerLevel(), 0);
    EXPECT_EQ(dialog.editPreScale(), 0);
    EXPECT_EQ(dialog.editTktmr(), 0);
    dialog.show();
    EXPECT_EQ(dialog.editTriggerLevel(), 40);
    EXPECT_EQ(edit(res::kEditTriggerLevel)->text(), "40");
}

struct OpeningCase {
    std::int32_t tktmr;
    const char* shown;
    bool clock4MHz;
};

class ChipSettingsOpening : public ChipSettingsDialogTest,
                            public testing::WithParamInterface<OpeningCase> {};

TEST_P(ChipSettingsOpening, ShowsTktmrWithoutClockBitAndSelectsTheClock) {
    open(30, 2, GetParam().tktmr);
    EXPECT_EQ(edit(res::kEditTktmr)->text(), GetParam().shown);
    EXPECT_EQ(radio(res::kRadio4MHz)->isChecked(), GetParam().clock4MHz);
    EXPECT_EQ(radio(res::kRadio2MHz)->isChecked(), !GetParam().clock4MHz);
}

INSTANTIATE_TEST_SUITE_P(
    TktmrBytes, ChipSettingsOpening,
    testing::Values(OpeningCase{0x85, "5", true}, OpeningCase{0x05, "5", false},
                    OpeningCase{0x0F, "15", false}, OpeningCase{0x80, "0", true},
                    OpeningCase{0xFF, "127", true},
                    // bits above the byte mean 2 MHz
                    OpeningCase{0x185, "5", false}, OpeningCase{-1, "127", false}));

TEST_F(ChipSettingsDialogTest, Tktmr0x85SurvivesAnUnchangedOk) {
    open(30, 2, 0x85);
    click(res::kIdOk);
    EXPECT_TRUE(closedWithOk());
    expectStored(30, 2, 0x85);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ChipSettingsDialogTest, Choosing4MHzSetsTheClockBit) {
    open(30, 2, 0x05);
    QTest::mouseClick(radio(res::kRadio4MHz), Qt::LeftButton);
    click(res::kIdOk);
    EXPECT_TRUE(closedWithOk());
    expectStored(30, 2, 0x85);
}

TEST_F(ChipSettingsDialogTest, Tktmr15FailsUntilCorrected) {
    open(30, 2, 0x0F);
    click(res::kIdOk);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages.texts(), (Texts{"Please enter an integer between 0 and 7.", kTktmrFail}));
    expectStored(30, 2, 0x0F);

    edit(res::kEditTktmr)->setText("7");
    click(res::kIdOk);
    EXPECT_TRUE(closedWithOk());
    expectStored(30, 2, 0x07);
}

TEST_F(ChipSettingsDialogTest, PreScale200IsStoredDespiteItsLabel) {
    open(30, 2, 0x05);
    type(30, 200, 5);
    click(res::kIdOk);
    EXPECT_TRUE(closedWithOk());
    expectStored(30, 200, 0x05);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ChipSettingsDialogTest, Trigger256GivesBothMessagesAndStoresNothing) {
    open(30, 2, 0x05);
    type(256, 3, 4);
    click(res::kIdOk);
    EXPECT_TRUE(dialog.isVisible());
    expectStored(30, 2, 0x05);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "Please enter an integer between 0 and 255.");
    EXPECT_EQ(messages.shown[1].text, kByteFail);
    EXPECT_EQ(messages.shown[1].caption, "Keyscope - KR48CX36");
    EXPECT_EQ(messages.shown[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(edit(res::kEditTriggerLevel)->text(), "256");  // the user's text stays
}

TEST_F(ChipSettingsDialogTest, FailedTktmrKeepsTheStoresBeforeIt) {
    open(30, 1, 0x05);
    type(10, 2, 9);
    click(res::kIdOk);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages.texts(), (Texts{"Please enter an integer between 0 and 7.", kTktmrFail}));
    expectStored(10, 2, 0x05);
}

TEST_F(ChipSettingsDialogTest, CancelAfterAPartialOkKeepsWhatWasStored) {
    open(30, 1, 0x05);
    type(10, 2, 9);
    click(res::kIdOk);
    click(res::kIdCancel);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    expectStored(10, 2, 0x05);
}

TEST_F(ChipSettingsDialogTest, NonIntegerKeepsEarlierValuesAndTheDialogOpen) {
    open(30, 1, 0x05);
    type(0, 3, 6);
    edit(res::kEditTriggerLevel)->setText("abc");
    click(res::kIdOk);
    // The exchange stops at the trigger edit, so the later fields keep their
    // opening values too; those pass the checks and are stored.
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages.texts(), (Texts{"Please enter an integer.", "Please enter an integer."}));
    expectStored(30, 1, 0x05);
    EXPECT_EQ(dialog.editTriggerLevel(), 30);
}

TEST_F(ChipSettingsDialogTest, EscapeCancelsAndStoresNothing) {
    open(30, 1, 0x05);
    type(40, 2, 3);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    expectStored(30, 1, 0x05);
}

TEST_F(ChipSettingsDialogTest, WithoutAConnectionOkStillRunsItsChecks) {
    ChipSettingsDialog detached(nullptr, messages);
    detached.show();
    findControl<QLineEdit>(detached, res::kEditTktmr)->setText("8");
    QTest::mouseClick(findControl<QPushButton>(detached, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(messages.texts().back(), kTktmrFail);
}

TEST(ChipSettingsTips, EachEditHasItsRangeTip) {
    EXPECT_EQ(ChipSettingsDialog::tipText(res::kEditTriggerLevel),
              QString("set Key Trigger Percent : 0 ~ 255"));
    EXPECT_EQ(ChipSettingsDialog::tipText(res::kEditPreScale),
              QString("set Counter Pre-Scale : 0 ~ 3"));
    EXPECT_EQ(ChipSettingsDialog::tipText(res::kEditTktmr), QString("set TKTMR : 0 ~ 7"));
    EXPECT_EQ(ChipSettingsDialog::tipText(res::kRadio4MHz), std::nullopt);
    EXPECT_EQ(ChipSettingsDialog::tipText(res::kIdOk), std::nullopt);
}

TEST_F(ChipSettingsDialogTest, HoveringThePreScaleEditShowsItsTipWrappedNarrow) {
    open(30, 1, 0x05);
    QLineEdit* preScale = edit(res::kEditPreScale);
    const QPoint inside = preScale->rect().center();
    QHelpEvent hover(QEvent::ToolTip, inside, preScale->mapToGlobal(inside));
    QApplication::sendEvent(preScale, &hover);
    const QString shown = QToolTip::text();
    EXPECT_TRUE(shown.contains(u'\n'));  // far wider than 50 pixels on one line
    EXPECT_EQ(QString(shown).replace(u'\n', u' '), "set Counter Pre-Scale : 0 ~ 3");
    QToolTip::hideText();
}

}  // namespace
}  // namespace keyscope
