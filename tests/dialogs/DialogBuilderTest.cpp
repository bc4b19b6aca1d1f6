#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/DialogBuilder.h"

namespace keyscope {
namespace {

using res::ControlKind;

TEST(DialogUnits, FourHorizontalAndEightVerticalUnitsAreOneBaseUnit) {
    const DialogUnits units(QFont(QStringLiteral("Arial"), 8));
    EXPECT_GT(units.baseX(), 0);
    EXPECT_GT(units.baseY(), 0);
    EXPECT_EQ(units.toPixelsX(4), units.baseX());
    EXPECT_EQ(units.toPixelsY(8), units.baseY());
    EXPECT_EQ(units.toPixels(res::DluRect{8, 16, 40, 24}),
              QRect(2 * units.baseX(), 2 * units.baseY(), 10 * units.baseX(), 3 * units.baseY()));
}

TEST(DialogUnits, ALargerFontGivesLargerUnits) {
    const DialogUnits small(QFont(QStringLiteral("Arial"), 8));
    const DialogUnits large(QFont(QStringLiteral("Arial"), 16));
    EXPECT_GT(large.baseX(), small.baseX());
    EXPECT_GT(large.baseY(), small.baseY());
}

bool hasKind(const QWidget* widget, ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return qobject_cast<const QLabel*>(widget) != nullptr;
        case ControlKind::PushButton:
            return qobject_cast<const QPushButton*>(widget) &&
                   !static_cast<const QPushButton*>(widget)->isDefault();
        case ControlKind::DefaultPushButton:
            return qobject_cast<const QPushButton*>(widget) &&
                   static_cast<const QPushButton*>(widget)->isDefault();
        case ControlKind::Edit:
            return qobject_cast<const QLineEdit*>(widget) != nullptr;
        case ControlKind::GroupBox:
            return qobject_cast<const QGroupBox*>(widget) != nullptr;
        case ControlKind::RadioButton:
            return qobject_cast<const QRadioButton*>(widget) != nullptr;
        case ControlKind::CheckBox:
            return qobject_cast<const QCheckBox*>(widget) != nullptr;
        case ControlKind::ComboBox:
            return qobject_cast<const QComboBox*>(widget) != nullptr;
        case ControlKind::Frame:
            return qobject_cast<const QFrame*>(widget) != nullptr;
    }
    return false;
}

class EveryTemplate : public testing::TestWithParam<int> {};

TEST_P(EveryTemplate, BuildsEachControlWithItsIdKindAndRectangle) {
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
        EXPECT_EQ(controlId(widget), control.id);
        EXPECT_TRUE(hasKind(widget, control.kind));
        EXPECT_EQ(widget->geometry(), units.toPixels(control.rect));
        // Nothing (a group box in particular) covers a control against the mouse.
        EXPECT_EQ(dialog.childAt(widget->geometry().center()), widget);
    }
    EXPECT_EQ(findControl(dialog, 4242), nullptr);
}

TEST_P(EveryTemplate, LabelsShowTheirWholeText) {
    QDialog dialog;
    buildDialog(dialog, *res::findDialogTemplate(GetParam()));
    for (const QLabel* label : dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        SCOPED_TRACE(label->text().toStdString());
        const QRect box = label->geometry();
        const QRect needed = QFontMetrics(label->font())
                                 .boundingRect(QRect(0, 0, box.width(), 10 * box.height()),
                                               Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.width(), box.width());
        EXPECT_LE(needed.height(), box.height());
    }
}

INSTANTIATE_TEST_SUITE_P(Resources, EveryTemplate,
                         testing::Values(res::kDialogPinEnable, res::kDialogTimeBar,
                                         res::kDialogChipSettings, res::kDialogMaxMin,
                                         res::kDialogSerialSetup));

TEST(DialogBuilder, FixedFrameDialogsCannotBeResizedButTheTimeBarWindowCan) {
    QDialog fixed;
    buildDialog(fixed, res::kMaxMinTemplate);
    EXPECT_EQ(fixed.minimumSize(), fixed.maximumSize());
    QDialog resizable;
    buildDialog(resizable, res::kTimeBarTemplate);
    EXPECT_NE(resizable.minimumSize(), resizable.maximumSize());
}

TEST(DialogBuilder, StandardOkAndCancelIdsCloseTheDialog) {
    QDialog dialog;
    buildDialog(dialog, res::kSerialSetupTemplate);
    dialog.show();
    QTest::mouseClick(findControl<QPushButton>(dialog, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());

    dialog.show();
    QTest::mouseClick(findControl<QPushButton>(dialog, res::kIdCancel), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(DialogBuilder, RadioButtonsOfOneGroupAreExclusive) {
    QDialog dialog;
    buildDialog(dialog, res::kChipSettingsTemplate);
    dialog.show();
    auto* radio2 = findControl<QRadioButton>(dialog, res::kRadio2MHz);
    auto* radio4 = findControl<QRadioButton>(dialog, res::kRadio4MHz);
    QTest::mouseClick(radio2, Qt::LeftButton);
    QTest::mouseClick(radio4, Qt::LeftButton);
    EXPECT_TRUE(radio4->isChecked());
    EXPECT_FALSE(radio2->isChecked());
}

TEST(DialogBuilder, ComboBoxesHoldTheirInitialisationItemsInOrder) {
    QDialog dialog;
    buildDialog(dialog, res::kSerialSetupTemplate);
    auto* ports = findControl<QComboBox>(dialog, res::kComboComPort);
    auto* rates = findControl<QComboBox>(dialog, res::kComboBaudRate);
    ASSERT_EQ(ports->count(), 8);
    EXPECT_EQ(ports->itemText(0), "COM1");
    EXPECT_EQ(ports->itemText(7), "COM8");
    ASSERT_EQ(rates->count(), 4);
    EXPECT_EQ(rates->itemText(0), "1200");
    EXPECT_EQ(rates->itemText(3), "9600");
}

TEST(DialogBuilder, UnknownResourceIdHasNoTemplate) {
    EXPECT_EQ(res::findDialogTemplate(0), nullptr);
    EXPECT_EQ(res::findDialogTemplate(103), nullptr);
}

}  // namespace
}  // namespace keyscope
