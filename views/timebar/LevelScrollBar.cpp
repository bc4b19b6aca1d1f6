#include "views/timebar/LevelScrollBar.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

namespace keyscope {
namespace {

constexpr QRgb kTrackColour = 0xFF323232;

bool isScrollKey(int key) {
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}

}  // namespace

LevelScrollBar::LevelScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void LevelScrollBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgba(kTrackColour));
    QStyleOptionSlider option;
    initStyleOption(&option);
    // Without the groove and page areas the style leaves the dark track showing.
    option.subControls = QStyle::SC_ScrollBarAddLine | QStyle::SC_ScrollBarSubLine |
                         QStyle::SC_ScrollBarSlider | QStyle::SC_ScrollBarFirst |
                         QStyle::SC_ScrollBarLast;
    if (isSliderDown()) {
        option.activeSubControls = QStyle::SC_ScrollBarSlider;
        option.state |= QStyle::State_Sunken;
    }
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}

void LevelScrollBar::mouseReleaseEvent(QMouseEvent* event) {
    QScrollBar::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        emit gestureEnded();
    }
}

void LevelScrollBar::keyReleaseEvent(QKeyEvent* event) {
    QScrollBar::keyReleaseEvent(event);
    // A held key repeats its steps; only the real release ends the gesture.
    if (!event->isAutoRepeat() && isScrollKey(event->key())) {
        emit gestureEnded();
    }
}

void LevelScrollBar::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void LevelScrollBar::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

}  // namespace keyscope
