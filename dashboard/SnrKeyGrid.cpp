#include "dashboard/SnrKeyGrid.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "views/PaintKit.h"

namespace keyscope {
namespace {

constexpr int kGap = 8;
constexpr qreal kCorner = 6.0;

// The name above the middle of its cell, the readings below it.
QRect nameBox(const QRect& cell) {
    return cell.adjusted(0, 0, 0, -cell.height() * 2 / 5);
}
QRect readingsBox(const QRect& cell) {
    return cell.adjusted(0, cell.height() * 3 / 5, 0, 0);
}
int namePoints(const QRect& cell) {
    return std::clamp(cell.height() / 5, 8, 20);
}

QString keyName(int key) {
    return QStringLiteral("TK%1").arg(key);
}

}  // namespace

SnrKeyGrid::SnrKeyGrid(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 80);
}

void SnrKeyGrid::setKeys(const std::vector<int>& keys, long wanted) {
    keys_ = keys;
    readings_.assign(keys.size(), 0);
    wanted_ = std::max(wanted, 1L);
    renderOverlay();
    update();
}

void SnrKeyGrid::setReadings(int key, long readings) {
    const auto found = std::find(keys_.begin(), keys_.end(), key);
    if (found == keys_.end()) {
        return;
    }
    const int cell = static_cast<int>(found - keys_.begin());
    if (readings_[cell] != readings) {
        readings_[cell] = readings;
        update(cellRect(size(), static_cast<int>(keys_.size()), cell));
    }
}

long SnrKeyGrid::readings(int key) const {
    const auto found = std::find(keys_.begin(), keys_.end(), key);
    return found == keys_.end() ? 0 : readings_[found - keys_.begin()];
}

QRect SnrKeyGrid::cellRect(QSize size, int count, int index) {
    if (index < 0 || index >= count) {
        return {};
    }
    const int columns = std::min(count, kGridColumns);
    const int rows = (count + columns - 1) / columns;
    const int width = (size.width() - kGap) / columns;
    // No taller than two thirds of their width, the rows centred: a few keys make no towers.
    const int height = std::min((size.height() - kGap) / rows, width * 2 / 3);
    const int top = (size.height() - rows * height - kGap) / 2;
    return {kGap + (index % columns) * width, top + kGap + (index / columns) * height, width - kGap,
            height - kGap};
}

void SnrKeyGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    renderOverlay();
}

void SnrKeyGrid::renderOverlay() {
    overlay_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    if (overlay_.isNull()) {
        return;
    }
    overlay_.fill(Qt::transparent);
    QPainter p(&overlay_);
    p.setRenderHint(QPainter::Antialiasing);
    const int count = static_cast<int>(keys_.size());
    for (int cell = 0; cell < count; ++cell) {
        const QRect r = cellRect(size(), count, cell);
        p.setPen(QPen(argb(0xFF424242), 1.0));
        p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), kCorner, kCorner);
        p.setFont(pixelFont(namePoints(r)));
        p.setPen(Qt::black);
        p.drawText(nameBox(r), Qt::AlignHCenter | Qt::AlignBottom, keyName(keys_[cell]));
    }
}

void SnrKeyGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setRenderHint(QPainter::Antialiasing);
    const int count = static_cast<int>(keys_.size());
    if (count > 0) {
        QFont font = pixelFont(namePoints(cellRect(size(), count, 0)) * 2 / 3);
        font.setBold(false);
        p.setFont(font);
    }
    for (int cell = 0; cell < count; ++cell) {
        const QRect r = cellRect(size(), count, cell);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(r), kCorner, kCorner);
        const long taken = std::min(readings_[cell], wanted_);
        p.fillPath(shape, argb(taken >= wanted_ ? kGridDoneColour : kGridWaitingColour));
        if (taken > 0 && taken < wanted_) {
            const int risen = static_cast<int>(r.height() * taken / wanted_);
            p.save();
            p.setClipPath(shape);
            p.fillRect(r.adjusted(0, r.height() - risen, 0, 0), argb(kGridRisingColour));
            p.restore();
        }
        p.setPen(Qt::black);
        p.drawText(readingsBox(r), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("%1/%2").arg(taken).arg(wanted_));
    }
    p.drawImage(0, 0, overlay_);
}

}  // namespace keyscope
