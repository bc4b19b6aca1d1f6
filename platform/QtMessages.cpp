#include "platform/QtMessages.h"

#include <QMessageBox>

namespace keyscope {

void QtMessages::show(std::string_view text, std::string_view caption, MessageIcon icon) {
    const QMessageBox::Icon boxIcon = icon == MessageIcon::Exclamation   ? QMessageBox::Warning
                                      : icon == MessageIcon::Information ? QMessageBox::Information
                                                                         : QMessageBox::NoIcon;
    const QString title =
        caption.empty() ? QStringLiteral("Keyscope")
                        : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    QMessageBox box(boxIcon, title,
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, owner_);
    box.exec();
}

}  // namespace keyscope
