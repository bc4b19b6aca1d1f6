// The dialog builder over every template, the data exchange rules, and the three settings
// dialogs driven with QTest.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "dialogs/ChipSettingsDialog.h"
#include "dialogs/DataExchange.h"
#include "dialogs/DialogBuilder.h"
#include "dialogs/MaxMinDialog.h"
#include "dialogs/PinEnableDialog.h"
#include "fakes/DeviceFakes.h"
#include "fakes/RecordingMessages.h"

namespace keyscope {
namespace {

class EveryTemplate : public testing::TestWithParam<int> {};

TEST_P(EveryTemplate, BuildsEachControlWithItsIdKindAndRectangleAndRoomForItsText) {
    // Indexed by res::ControlKind.
    const char* const kClass[] = {"QLabel",    "QPushButton", "QPushButton",
                                  "QLineEdit", "QGroupBox",   "QRadioButton",
                                  "QCheckBox", "QComboBox",   "QFrame"};
    const res::DialogTemplate* dialogTemplate = res::findDialogTemplate(GetParam());
    ASSERT_NE(dialogTemplate, nullptr);
    QDialog dialog;
    buildDialog(dialog, *dialogTemplate);
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.windowTitle().toStdString(), dialogTemplate->caption);
    EXPECT_EQ(dialog.size(), units.toPixels(dialogTemplate->width, dialogTemplate->height));
    for (const res::ControlTemplate& control : dialogTemplate->controls) {
        if (control.id == res::kNoId) {
            continue;
        }
        SCOPED_TRACE(control.id);
        QWidget* widget = findControl(dialog, control.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(kClass[static_cast<int>(control.kind)]));
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->isDefault(), control.kind == res::ControlKind::DefaultPushButton);
        }
        EXPECT_EQ(widget->geometry(), units.toPixels(control.rect));
        // Nothing (a group box in particular) covers a control against the mouse.
        EXPECT_EQ(dialog.childAt(widget->geometry().center()), widget);
    }
    for (const QLabel* label : dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect box = label->geometry();
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, box.width(), 10 * box.height()), Qt::TextWordWrap, label->text());
        EXPECT_TRUE(box.width() >= needed.width() && box.height() >= needed.height())
            << label->text().toStdString();
    }
    // Only the time-bar window has a resizable frame.
    EXPECT_EQ(dialog.minimumSize() == dialog.maximumSize(), GetParam() != res::kDialogTimeBar);
}

INSTANTIATE_TEST_SUITE_P(Resources, EveryTemplate,
                         testing::Values(res::kDialogPinEnable, res::kDialogTimeBar,
                                         res::kDialogChipSettings, res::kDialogMaxMin,
                                         res::kDialogSerialSetup));

TEST(DialogIntegers, WholeTextMustBeOneIntegerButLeadingReadsUpToTheFirstNonDigit) {
    // clang-format off
    const std::tuple<const char*, std::optional<std::int32_t>, std::int32_t> cases[] = {
        {" \t7\t ", 7, 7}, {"007", 7, 7}, {"+5", 5, 5}, {"-12", -12, -12}, {"0", 0, 0},
        {"-0", std::nullopt, 0}, {"", std::nullopt, 0}, {"abc", std::nullopt, 0},
        {"  42abc", std::nullopt, 42}, {"1 2", std::nullopt, 1}, {"0x10", std::nullopt, 0},
        {"- 5", std::nullopt, 0}, {"99999999999", INT32_MAX, INT32_MAX},
        {"-99999999999", INT32_MIN, INT32_MIN}};
    // clang-format on
    for (const auto& [text, whole, leading] : cases) {
        EXPECT_EQ(parseDialogInteger(QString::fromUtf8(text)), whole) << text;
        EXPECT_EQ(leadingInteger(QString::fromUtf8(text)), leading) << text;
    }
}

// The combo boxes' index exchange is the serial dialog's in DashboardTest.

using Texts = std::vector<std::string>;
using Stored = std::array<std::int32_t, 3>;  // trigger level, pre-scale, TKTMR

// Messages as "[caption] text", so one comparison checks both.
const std::string kNotInt = "[] Please enter an integer.";
const std::string kRange255 = "[] Please enter an integer between 0 and 255.";
const std::string kRange7 = "[] Please enter an integer between 0 and 7.";
const std::string kFail = "[Keyscope - KR48CX36] Settings value fail! value must between 0 - ";
const std::string kByteFail = kFail + "255.";
const std::string kTktmrFail = kFail + "7.";

class ChipSettingsDialogTest : public testing::Test {
  protected:
    // The dialog exists before the settings change: it must read them when shown.
    void open(std::int32_t tktmr) {
        fake.board->setTriggerLevel(30);
        fake.board->setPreScale(1);
        fake.board->setTktmr(tktmr);
        dialog.show();
    }
    QLineEdit* edit(int id) { return findControl<QLineEdit>(dialog, id); }
    QRadioButton* radio(int id) { return findControl<QRadioButton>(dialog, id); }
    void click(int id) { QTest::mouseClick(findControl<QPushButton>(dialog, id), Qt::LeftButton); }
    Stored stored() const {
        return {fake.board->getTriggerLevel(), fake.board->getPreScale(), fake.board->getTktmr()};
    }
    Texts shown() const {
        Texts all;
        for (const auto& m : messages.shown) {
            EXPECT_EQ(m.icon, MessageIcon::Exclamation);
            all.push_back("[" + m.caption + "] " + m.text);
        }
        return all;
    }

    fakes::FakeBoard fake;
    fakes::RecordingMessages messages;
    ChipSettingsDialog dialog{fake.board.get(), messages};
};

struct OkCase {
    std::int32_t tktmr;  // opened with trigger level 30 and pre-scale 1
    const char* opensAs;
    bool opens4MHz;                    // only a plain byte with the clock bit
    std::array<const char*, 3> typed;  // null leaves the opening text
    bool choose4MHz;
    Texts messages;
    const char* fix;  // TKTMR retyped before a second OK; without one the user cancels
    Stored stored;
};

const OkCase kOkCases[] = {
    {0x85, "5", true, {}, false, {}, nullptr, {30, 1, 0x85}},
    {0x05, "5", false, {}, true, {}, nullptr, {30, 1, 0x85}},
    {0x185, "5", false, {}, false, {}, nullptr, {30, 1, 0x05}},
    {0xFF, "127", true, {}, false, {kRange7, kTktmrFail}, nullptr, {30, 1, 0xFF}},
    {0x0F, "15", false, {}, false, {kRange7, kTktmrFail}, "7", {30, 1, 0x07}},
    {0x05, "5", false, {nullptr, "200"}, false, {}, nullptr, {30, 200, 5}},  // despite "0 ~ 3"
    {0x05, "5", false, {"256", "3", "4"}, false, {kRange255, kByteFail}, nullptr, {30, 1, 5}},
    {0x05, "5", false, {"10", "2", "9"}, false, {kRange7, kTktmrFail}, nullptr, {10, 2, 5}},
    // The exchange stops at the bad edit; the later fields' opening values are stored again.
    {0x05, "5", false, {"abc", "3", "6"}, false, {kNotInt, kNotInt}, nullptr, {30, 1, 5}},
};

class ChipSettingsOk : public ChipSettingsDialogTest, public testing::WithParamInterface<OkCase> {};

TEST_P(ChipSettingsOk, OpensFromTheBytesAndStoresFieldByFieldUpToTheFirstFailure) {
    const OkCase& c = GetParam();
    open(c.tktmr);
    EXPECT_EQ(edit(res::kEditTktmr)->text(), c.opensAs);
    EXPECT_EQ(radio(res::kRadio4MHz)->isChecked(), c.opens4MHz);
    EXPECT_NE(radio(res::kRadio2MHz)->isChecked(), c.opens4MHz);
    const int edits[] = {res::kEditTriggerLevel, res::kEditPreScale, res::kEditTktmr};
    for (int i = 0; i < 3; ++i)
        if (c.typed[i] != nullptr)
            edit(edits[i])->setText(c.typed[i]);
    if (c.choose4MHz)
        QTest::mouseClick(radio(res::kRadio4MHz), Qt::LeftButton);
    click(res::kIdOk);
    EXPECT_EQ(shown(), c.messages);
    EXPECT_EQ(dialog.isVisible(), !c.messages.empty());
    if (dialog.isVisible() && c.fix != nullptr) {
        edit(res::kEditTktmr)->setText(c.fix);
        click(res::kIdOk);
    } else if (dialog.isVisible()) {
        click(res::kIdCancel);  // keeps what the failed OK stored
    }
    EXPECT_EQ(dialog.result(), c.messages.empty() || c.fix ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(stored(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Settings, ChipSettingsOk, testing::ValuesIn(kOkCases));

TEST_F(ChipSettingsDialogTest, HoveringAnEditShowsItsRangeTipWrappedNarrow) {
    open(0x05);
    const std::pair<int, const char*> tips[] = {
        {res::kEditTriggerLevel, "set Key Trigger Percent : 0 ~ 255"},
        {res::kEditPreScale, "set Counter Pre-Scale : 0 ~ 3"},
        {res::kEditTktmr, "set TKTMR : 0 ~ 7"}};
    for (const auto& [id, tip] : tips) {
        const QPoint inside = edit(id)->rect().center();
        QHelpEvent hover(QEvent::ToolTip, inside, edit(id)->mapToGlobal(inside));
        QApplication::sendEvent(edit(id), &hover);
        EXPECT_TRUE(QToolTip::text().contains(u'\n'));  // far wider than 50 pixels on one line
        EXPECT_EQ(QToolTip::text().replace(u'\n', u' '), tip);
        QToolTip::hideText();
    }
}

TEST_F(ChipSettingsDialogTest, WithoutAConnectionOkStillRunsItsChecks) {
    ChipSettingsDialog detached(nullptr, messages);
    detached.show();
    findControl<QLineEdit>(detached, res::kEditTktmr)->setText("8");
    QTest::mouseClick(findControl<QPushButton>(detached, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(shown(), (Texts{kRange7, kTktmrFail}));
}

constexpr KeyEnabledFlags kFirstHalf{1, 1, 1, 1, 1, 1, 1, 1};
constexpr KeyEnabledFlags kSecondHalf{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr KeyEnabledFlags kOnes{0, 0, 0, 1, 0, 0, 0, 0, 0, 1};

KeyEnabledFlags ticks(const PinEnableDialog& dialog) {
    KeyEnabledFlags state{};
    for (int key = 0; key < kChannelCount; ++key) {
        state[key] = findControl<QCheckBox>(dialog, res::kCheckTk0 + key)->isChecked() ? 1 : 0;
    }
    return state;
}

TEST(PinEnableDialog, OpensTickedForNonZeroFlagsAndWritesOnesAndZerosOnlyOnOk) {
    // flags, the boxes they open, button and check box ids clicked in order, flags after
    const std::tuple<KeyEnabledFlags, KeyEnabledFlags, std::vector<int>, KeyEnabledFlags> cases[] =
        {{kFirstHalf, kFirstHalf, {res::kButtonPinInvert, res::kButtonPinOk}, kSecondHalf},
         {{0, 0, 0, 5, 0, 0, 0, 0, 0, -1}, kOnes, {res::kButtonPinOk}, kOnes},
         {kFirstHalf, kFirstHalf, {res::kButtonPinInvert, res::kButtonPinCancel}, kFirstHalf}};
    for (auto [flags, opened, clicks, after] : cases) {
        SCOPED_TRACE(clicks.size());
        PinEnableDialog dialog;
        KeyEnabledFlags shown{};
        QTimer::singleShot(0, &dialog, [&dialog, &shown, &clicks = clicks] {
            shown = ticks(dialog);
            for (int id : clicks) {
                QTest::mouseClick(findControl<QAbstractButton>(dialog, id), Qt::LeftButton);
            }
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                dialog.done(QDialog::Rejected);
            }
        });
        EXPECT_EQ(dialog.runPinDialog(&flags), clicks.back() == res::kButtonPinOk);
        EXPECT_EQ(shown, opened);
        EXPECT_EQ(flags, after);
        dialog.show();  // opens from the flags again, not from the last boxes
        EXPECT_EQ(ticks(dialog), after);
    }
    EXPECT_FALSE(PinEnableDialog().runPinDialog(nullptr));  // no flags: no run
}

TEST(MaxMinDialog, OpensWithBothBoundsAndHandsBackTheLeadingIntegersOnOk) {
    // typed over the opening texts (null leaves one), the button, maximum and minimum after
    const std::tuple<const char*, const char*, int, std::array<std::int32_t, 2>> cases[] = {
        {"", nullptr, res::kIdOk, {0, 1100}},
        {"100", "300", res::kIdOk, {100, 300}},  // no ordering check
        {"5", "6", res::kIdCancel, {1200, 1100}},
        {nullptr, "-4x2", res::kIdOk, {1200, 42}},  // only digits can be typed
    };
    for (const auto& [maximum, minimum, button, after] : cases) {
        SCOPED_TRACE(minimum ? minimum : "(kept)");
        std::array<std::int32_t, 2> bounds{1200, 1100};
        MaxMinDialog dialog;
        dialog.setTargets(&bounds[0], &bounds[1]);
        dialog.show();
        const std::tuple<QLineEdit*, const char*, const char*> edits[] = {
            {findControl<QLineEdit>(dialog, res::kEditMaximum), "1200", maximum},
            {findControl<QLineEdit>(dialog, res::kEditMinimum), "1100", minimum}};
        for (const auto& [edit, opening, typed] : edits) {
            EXPECT_EQ(edit->text(), opening);
            EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
            if (typed != nullptr) {
                edit->clear();
                QTest::keyClicks(edit, typed);
            }
        }
        QTest::mouseClick(findControl<QPushButton>(dialog, button), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), button == res::kIdOk ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(bounds, after);
    }
}

}  // namespace
}  // namespace keyscope
