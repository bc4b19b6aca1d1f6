#pragma once
// The touch phase's grid: one cell per key under test, four to a row as on a
// keypad. A cell is grey until its key has the touched readings it needs, then
// green; on the way a paler green rises from its bottom with the readings taken.
// The frames and key names depend only on the size and the keys and are drawn
// once into a cached overlay; a paint fills the cells and lays the overlay on top.

#include <QImage>
#include <QWidget>
#include <vector>

namespace keyscope {

inline constexpr QRgb kGridWaitingColour = 0xFFBDBDBD;
inline constexpr QRgb kGridRisingColour = 0xFFC8E6C9;
inline constexpr QRgb kGridDoneColour = 0xFF43A047;
inline constexpr int kGridColumns = 4;

class SnrKeyGrid : public QWidget {
  public:
    explicit SnrKeyGrid(QWidget* parent = nullptr);

    // The keys in cell order, none with a reading yet; `wanted` readings make a key green.
    void setKeys(const std::vector<int>& keys, long wanted);
    // A key's readings so far; repaints only when the figure changes.
    void setReadings(int key, long readings);
    long readings(int key) const;

    // Cell `index` of `count` in a widget of `size`: kGridColumns to a row (fewer
    // when there are fewer keys), a gap around every cell, the rows centred and
    // no taller than two thirds of a cell's width. Empty for an index out of range.
    static QRect cellRect(QSize size, int count, int index);

    QSize sizeHint() const override { return {360, 240}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void renderOverlay();

    std::vector<int> keys_;
    std::vector<long> readings_;  // by cell
    long wanted_ = 1;
    QImage overlay_;  // frames and names over transparent cells
};

}  // namespace keyscope
