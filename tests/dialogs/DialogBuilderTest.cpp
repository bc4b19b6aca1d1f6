#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "dialogs/DataExchange.h"
#include "dialogs/DialogBuilder.h"
#include "fakes/RecordingMessages.h"

namespace keyscope {
namespace {

TEST(DialogUnits, FourAcrossAndEightDownAreOneBaseUnitAndGrowWithTheFont) {
    const DialogUnits units(QFont(QStringLiteral("Arial"), 8));
    const DialogUnits large(QFont(QStringLiteral("Arial"), 16));
    EXPECT_EQ(units.toPixels(res::DluRect{8, 16, 40, 24}),
              QRect(2 * units.baseX(), 2 * units.baseY(), 10 * units.baseX(), 3 * units.baseY()));
    EXPECT_GT(large.baseX(), units.baseX());
    EXPECT_GT(large.baseY(), units.baseY());
}

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

struct ParseCase {
    const char* text;
    std::optional<std::int32_t> whole;  // parseDialogInteger
    std::int32_t leading;               // leadingInteger
};

class DialogIntegers : public testing::TestWithParam<ParseCase> {};

TEST_P(DialogIntegers, WholeTextMustBeOneIntegerButLeadingReadsUpToTheFirstNonDigit) {
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(parseDialogInteger(text), GetParam().whole) << GetParam().text;
    EXPECT_EQ(leadingInteger(text), GetParam().leading) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DialogIntegers,
    testing::Values(ParseCase{" \t7\t ", 7, 7}, ParseCase{"007", 7, 7}, ParseCase{"+5", 5, 5},
                    ParseCase{"-12", -12, -12}, ParseCase{"0", 0, 0},
                    ParseCase{"-0", std::nullopt, 0}, ParseCase{"", std::nullopt, 0},
                    ParseCase{"abc", std::nullopt, 0}, ParseCase{"  42abc", std::nullopt, 42},
                    ParseCase{"1 2", std::nullopt, 1}, ParseCase{"0x10", std::nullopt, 0},
                    ParseCase{"- 5", std::nullopt, 0},
                    ParseCase{"99999999999", INT32_MAX, INT32_MAX},
                    ParseCase{"-99999999999", INT32_MIN, INT32_MIN}));

TEST(DataExchange, ComboIndexRoundTripsAndAnIndexOffTheListReadsMinusOne) {
    using enum ExchangeDirection;
    QDialog dialog;
    buildDialog(dialog, res::kSerialSetupTemplate);
    fakes::RecordingMessages messages;
    std::int32_t port = 5;
    std::int32_t rate = 99;
    DataExchange(dialog, messages, ToControls).comboIndex(res::kComboComPort, port);
    DataExchange(dialog, messages, ToControls).comboIndex(res::kComboBaudRate, rate);
    EXPECT_EQ(findControl<QComboBox>(dialog, res::kComboComPort)->currentText(), "COM6");
    port = rate = 0;
    DataExchange back(dialog, messages, FromControls);
    back.comboIndex(res::kComboComPort, port);
    back.comboIndex(res::kComboBaudRate, rate);
    EXPECT_EQ(port, 5);
    EXPECT_EQ(rate, -1);
}

}  // namespace
}  // namespace keyscope
