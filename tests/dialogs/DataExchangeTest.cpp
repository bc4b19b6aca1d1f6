#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <limits>

#include "dialogs/DataExchange.h"
#include "dialogs/DialogBuilder.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct ParseCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

class ParseDialogInteger : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseDialogInteger, AcceptsOnlyAWholeDecimalInteger) {
    EXPECT_EQ(parseDialogInteger(QString::fromUtf8(GetParam().text)), GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseDialogInteger,
    testing::Values(ParseCase{"42", 42}, ParseCase{" \t7\t ", 7}, ParseCase{"0", 0},
                    ParseCase{"007", 7}, ParseCase{"+5", 5}, ParseCase{"-12", -12},
                    ParseCase{"-0", std::nullopt}, ParseCase{"", std::nullopt},
                    ParseCase{"   ", std::nullopt}, ParseCase{"abc", std::nullopt},
                    ParseCase{"12abc", std::nullopt}, ParseCase{"1 2", std::nullopt},
                    ParseCase{"0x10", std::nullopt}, ParseCase{"-", std::nullopt},
                    ParseCase{"99999999999", kMax}, ParseCase{"-99999999999", kMin}));

struct LeadingCase {
    const char* text;
    std::int32_t expected;
};

class LeadingInteger : public testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingInteger, ReadsDigitsUpToTheFirstNonDigit) {
    EXPECT_EQ(leadingInteger(QString::fromUtf8(GetParam().text)), GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingInteger,
                         testing::Values(LeadingCase{"", 0}, LeadingCase{"abc", 0},
                                         LeadingCase{"1200", 1200}, LeadingCase{"  42abc", 42},
                                         LeadingCase{"-7", -7}, LeadingCase{"+3", 3},
                                         LeadingCase{"1 2", 1}, LeadingCase{"- 5", 0},
                                         LeadingCase{"99999999999", kMax},
                                         LeadingCase{"-99999999999", kMin}));

class DataExchangeTest : public testing::Test {
  protected:
    DataExchangeTest() { buildDialog(dialog, res::kChipSettingsTemplate); }
    QLineEdit* edit(int id) { return findControl<QLineEdit>(dialog, id); }

    QDialog dialog;
    fakes::RecordingMessages messages;
};

TEST_F(DataExchangeTest, TowardsTheControlsWritesDecimalText) {
    std::int32_t value = -17;
    DataExchange dx(dialog, messages, ExchangeDirection::ToControls);
    dx.integer(res::kEditTriggerLevel, value, 0, 255);  // no range check on the way out
    EXPECT_EQ(edit(res::kEditTriggerLevel)->text(), "-17");
    EXPECT_TRUE(dx.ok());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DataExchangeTest, OutOfRangeIsStoredThenReportedAndStopsThePass) {
    edit(res::kEditTriggerLevel)->setText("300");
    edit(res::kEditPreScale)->setText("4");
    std::int32_t first = 1;
    std::int32_t second = 2;
    DataExchange dx(dialog, messages, ExchangeDirection::FromControls);
    dx.integer(res::kEditTriggerLevel, first, 0, 255);
    dx.integer(res::kEditPreScale, second, 0, 255);
    EXPECT_FALSE(dx.ok());
    EXPECT_EQ(first, 300);
    EXPECT_EQ(second, 2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Please enter an integer between 0 and 255.");
    EXPECT_EQ(messages.shown[0].caption, "");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
}

TEST_F(DataExchangeTest, NonIntegerLeavesTheFieldAndSelectsTheEntry) {
    dialog.show();
    edit(res::kEditPreScale)->setText("x1");
    std::int32_t value = 9;
    DataExchange dx(dialog, messages, ExchangeDirection::FromControls);
    dx.integer(res::kEditPreScale, value, 0, 255);
    EXPECT_FALSE(dx.ok());
    EXPECT_EQ(value, 9);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(edit(res::kEditPreScale)->selectedText(), "x1");
}

TEST(DataExchange, ComboIndexRoundTripsAndNoSelectionReadsMinusOne) {
    QDialog dialog;
    buildDialog(dialog, res::kSerialSetupTemplate);
    fakes::RecordingMessages messages;
    std::int32_t index = 5;
    DataExchange(dialog, messages, ExchangeDirection::ToControls)
        .comboIndex(res::kComboComPort, index);
    EXPECT_EQ(findControl<QComboBox>(dialog, res::kComboComPort)->currentText(), "COM6");

    std::int32_t out = 0;
    DataExchange(dialog, messages, ExchangeDirection::FromControls)
        .comboIndex(res::kComboComPort, out);
    EXPECT_EQ(out, 5);

    std::int32_t outOfList = 99;
    DataExchange(dialog, messages, ExchangeDirection::ToControls)
        .comboIndex(res::kComboBaudRate, outOfList);
    DataExchange(dialog, messages, ExchangeDirection::FromControls)
        .comboIndex(res::kComboBaudRate, out);
    EXPECT_EQ(out, -1);
}

}  // namespace
}  // namespace keyscope
