#pragma once
// The trigger-level scroll bar. Qt reports each step of a scroll but not the
// end of the gesture, which the window needs in order to write the level to
// the board once; this bar reports it on the release of the mouse button or
// of the key that did the scrolling. Its track is dark, the arrows and thumb
// keep the style's own look.

#include <QScrollBar>

namespace keyscope {

class LevelScrollBar : public QScrollBar {
    Q_OBJECT
  public:
    explicit LevelScrollBar(QWidget* parent = nullptr);

  signals:
    // After every mouse or keyboard scroll gesture, once the bar has applied it.
    void gestureEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // A wheel spin has no end to report and would leave the board unwritten;
    // the bar ignores the wheel, as a classic scroll-bar control does.
    void wheelEvent(QWheelEvent* event) override;
    // The style's "Scroll here" menu would move the level without a gesture end.
    void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace keyscope
