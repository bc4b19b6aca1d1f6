#pragma once
// Builds a dialog's controls from a resource table (res/dialog_templates.h).
// Rectangles in the tables are dialog units: a horizontal unit is a quarter of
// the dialog font's average character width, a vertical unit an eighth of its
// height, so a layout keeps its proportions whatever font the system supplies.

#include <QFont>
#include <QRect>
#include <QSize>

#include "res/dialog_templates.h"

class QDialog;
class QWidget;

namespace keyscope {

// Name of the dynamic property that holds a control's resource id.
inline constexpr char kControlIdProperty[] = "controlId";

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    // Base units in pixels: average width of the Latin letters, rounded; font height.
    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    int toPixelsX(int dialogUnits) const;
    int toPixelsY(int dialogUnits) const;
    QRect toPixels(const res::DluRect& rect) const;
    QSize toPixels(int width, int height) const;

  private:
    int baseX_ = 1;
    int baseY_ = 1;
};

// The dialog font of a template ("System" and other families the system does
// not have fall back to the default family).
QFont dialogFont(const res::DialogTemplate& dialogTemplate);

// Gives `dialog` the template's caption, font, frame and client size and
// creates every control as a direct child in table order (which is also the
// tab order). Each control with an id carries it in kControlIdProperty and as
// objectName "id<number>". Buttons with ids res::kIdOk and res::kIdCancel call
// the dialog's accept() and reject(); an exclusive group of radio buttons
// starts at each res::kGroupStart radio button. Call once, from the dialog's
// constructor.
void buildDialog(QDialog& dialog, const res::DialogTemplate& dialogTemplate);

// The direct child control with the given id, or null.
QWidget* findControl(const QWidget& dialog, int id);

template <class T>
T* findControl(const QWidget& dialog, int id) {
    return qobject_cast<T*>(findControl(dialog, id));
}

// The resource id of a control, res::kNoId for a widget without one.
int controlId(const QObject* control);

}  // namespace keyscope
