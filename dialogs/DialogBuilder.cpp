#include "dialogs/DialogBuilder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QString>
#include <cmath>

namespace keyscope {
namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Rounds like the toolkit's multiply-divide: half away from zero.
int scale(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

// A label whose text does not fit its rectangle in the dialog font gets a
// smaller font rather than a clipped text; at most down to 70 %.
void fitLabelText(QLabel& label) {
    const QRect box = label.geometry();
    QFont font = label.font();
    const double original = font.pointSizeF();
    for (double size = original; size >= original * 0.7; size -= 0.5) {
        font.setPointSizeF(size);
        const QRect needed = QFontMetrics(font).boundingRect(
            QRect(0, 0, box.width(), 10 * box.height()), Qt::TextWordWrap, label.text());
        if (needed.width() <= box.width() && needed.height() <= box.height()) {
            break;
        }
    }
    if (font.pointSizeF() < original) {
        label.setFont(font);
    }
}

QString objectNameForId(int id) {
    return QStringLiteral("id%1").arg(id);
}

Qt::Alignment editAlignment(std::uint32_t style) {
    if (style & res::kTextCentre) {
        return Qt::AlignHCenter | Qt::AlignVCenter;
    }
    if (style & res::kTextRight) {
        return Qt::AlignRight | Qt::AlignVCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QWidget* createControl(QDialog& dialog, const res::ControlTemplate& control) {
    const QString text = toQString(control.text);
    switch (control.kind) {
        case res::ControlKind::Label: {
            auto* label = new QLabel(text, &dialog);
            label->setWordWrap(true);
            label->setAlignment((control.style & res::kTextCentre) ? Qt::AlignHCenter | Qt::AlignTop
                                : (control.style & res::kTextRight) ? Qt::AlignRight | Qt::AlignTop
                                                                    : Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case res::ControlKind::PushButton:
        case res::ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, &dialog);
            button->setDefault(control.kind == res::ControlKind::DefaultPushButton);
            if (control.id == res::kIdOk) {
                QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
            } else if (control.id == res::kIdCancel) {
                QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::reject);
            }
            return button;
        }
        case res::ControlKind::Edit: {
            auto* edit = new QLineEdit(&dialog);
            edit->setText(text);
            edit->setAlignment(editAlignment(control.style));
            if (control.style & res::kDigitsOnly) {
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
            }
            return edit;
        }
        case res::ControlKind::GroupBox: {
            // The controls inside are siblings, as in the resource; the frame
            // stays underneath them and lets their clicks through.
            auto* group = new QGroupBox(text, &dialog);
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            return group;
        }
        case res::ControlKind::RadioButton:
            return new QRadioButton(text, &dialog);
        case res::ControlKind::CheckBox:
            return new QCheckBox(text, &dialog);
        case res::ControlKind::ComboBox: {
            auto* combo = new QComboBox(&dialog);
            combo->setEditable((control.style & res::kEditable) != 0);
            for (std::string_view item : control.items) {
                combo->addItem(toQString(item));
            }
            return combo;
        }
        case res::ControlKind::Frame:
            return new QFrame(&dialog);
    }
    return nullptr;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
}

int DialogUnits::toPixelsX(int dialogUnits) const {
    return scale(dialogUnits, baseX_, 4);
}

int DialogUnits::toPixelsY(int dialogUnits) const {
    return scale(dialogUnits, baseY_, 8);
}

QRect DialogUnits::toPixels(const res::DluRect& rect) const {
    return {toPixelsX(rect.x), toPixelsY(rect.y), toPixelsX(rect.width), toPixelsY(rect.height)};
}

QSize DialogUnits::toPixels(int width, int height) const {
    return {toPixelsX(width), toPixelsY(height)};
}

QFont dialogFont(const res::DialogTemplate& dialogTemplate) {
    // The layouts were drawn for Arial-like widths; the generic "System" family
    // would otherwise become the desktop's default, which is often much wider.
    const std::string_view family = dialogTemplate.fontFamily == "System"
                                        ? std::string_view("Arial")
                                        : dialogTemplate.fontFamily;
    QFont font(toQString(family));
    font.setPointSize(std::max(1, dialogTemplate.fontPointSize));
    return font;
}

void buildDialog(QDialog& dialog, const res::DialogTemplate& dialogTemplate) {
    dialog.setWindowTitle(toQString(dialogTemplate.caption));
    dialog.setFont(dialogFont(dialogTemplate));
    dialog.setSizeGripEnabled(false);
    if (dialogTemplate.style & res::kDialogMinMaxBoxes) {
        dialog.setWindowFlag(Qt::WindowMinMaxButtonsHint);
    }

    const DialogUnits units(dialog.font());
    const QSize clientSize = units.toPixels(dialogTemplate.width, dialogTemplate.height);
    if (dialogTemplate.style & res::kDialogResizable) {
        dialog.resize(clientSize);
    } else {
        dialog.setFixedSize(clientSize);
    }

    QButtonGroup* radioGroup = nullptr;
    for (const res::ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = createControl(dialog, control);
        if (widget == nullptr) {
            continue;
        }
        widget->setGeometry(units.toPixels(control.rect));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            fitLabelText(*label);
        }
        if (control.id != res::kNoId) {
            widget->setProperty(kControlIdProperty, control.id);
            widget->setObjectName(objectNameForId(control.id));
        }
        if (control.kind == res::ControlKind::RadioButton) {
            auto* radio = static_cast<QRadioButton*>(widget);
            if (radioGroup == nullptr || (control.style & res::kGroupStart)) {
                radioGroup = new QButtonGroup(&dialog);
            }
            radioGroup->addButton(radio);
        } else {
            radioGroup = nullptr;
        }
        if (control.kind == res::ControlKind::GroupBox) {
            widget->lower();
        }
    }
}

QWidget* findControl(const QWidget& dialog, int id) {
    if (id == res::kNoId) {
        return nullptr;
    }
    return dialog.findChild<QWidget*>(objectNameForId(id), Qt::FindDirectChildrenOnly);
}

int controlId(const QObject* control) {
    if (control == nullptr) {
        return res::kNoId;
    }
    bool ok = false;
    const int id = control->property(kControlIdProperty).toInt(&ok);
    return ok ? id : res::kNoId;
}

}  // namespace keyscope
