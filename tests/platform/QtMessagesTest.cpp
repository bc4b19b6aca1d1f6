// Message boxes belong to the window the user works in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include "platform/QtMessages.h"

namespace keyscope {
namespace {

// The parent of the next message box to show, which is then dismissed.
void dismissNextBox(QWidget*& parent) {
    QTimer::singleShot(0, [&parent] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        parent = box->parentWidget();
        box->done(QMessageBox::Ok);
    });
}

TEST(QtMessages, ABoxBelongsToTheModalDialogThatRunsElseToTheOwner) {
    QWidget owner;
    QtMessages messages(&owner);
    QWidget* parent = nullptr;
    dismissNextBox(parent);
    messages.show("from the owner", {}, MessageIcon::None);
    EXPECT_EQ(parent, &owner);

    QDialog settings;
    QTimer::singleShot(0, &settings, [&] {
        dismissNextBox(parent);
        messages.show("from the dialog", "Keyscope - KR48CX36", MessageIcon::Exclamation);
        settings.done(QDialog::Accepted);
    });
    settings.exec();
    EXPECT_EQ(parent, &settings);
}

}  // namespace
}  // namespace keyscope
