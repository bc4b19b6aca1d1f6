#include "platform/QtMessages.h"

#include <QApplication>
#include <QMessageBox>

namespace keyscope {

void QtMessages::present(std::string_view text, std::string_view caption, MessageIcon icon,
                         std::string_view detail) {
    const QMessageBox::Icon boxIcon = icon == MessageIcon::Exclamation   ? QMessageBox::Warning
                                      : icon == MessageIcon::Information ? QMessageBox::Information
                                                                         : QMessageBox::NoIcon;
    const QString title =
        caption.empty() ? QStringLiteral("Keyscope")
                        : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    // The box belongs to the window the user works in: a modal settings dialog shows its own
    // messages, centred on it and never behind it; otherwise the owner given shows them.
    QWidget* parent = QApplication::activeModalWidget();
    QMessageBox box(boxIcon, title,
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, parent != nullptr ? parent : owner_);
    if (!detail.empty()) {
        box.setDetailedText(
            QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size())));
    }
    box.exec();
}

}  // namespace keyscope
