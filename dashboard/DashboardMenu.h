#pragma once
// The dashboard's menu bar, built from menu::kItems. Items are addressed by
// command id; an id that stands twice ("Exit") changes both places at once.

#include <QObject>
#include <functional>
#include <map>
#include <vector>

#include "dashboard/MenuTable.h"

class QAction;
class QMenu;
class QMenuBar;

namespace keyscope {

class DashboardMenu {
  public:
    using CommandHandler = std::function<void(int id)>;

    // Fills `bar` (which must outlive this object); a chosen item calls onCommand with its id.
    DashboardMenu(QMenuBar& bar, const CommandHandler& onCommand);

    // Unknown or removed ids are ignored, as the menu calls ignore them.
    void setEnabled(int id, bool enabled);
    void applyColumn(menu::Column column);
    // Takes the item off its menu for good.
    void removeItem(int id);
    // Enables or grays a whole popup by its position on the bar.
    void setPopupEnabled(int position, bool enabled);

    bool contains(int id) const;
    // True when every place of the item is enabled; false for an unknown id.
    bool isEnabled(int id) const;
    bool isPopupEnabled(int position) const;
    // How many places show the item (2 for "Exit").
    int placeCount(int id) const;
    // Chooses the item as a user would: only an enabled item runs. Returns whether it ran.
    bool trigger(int id);
    // The first place of the item, or null.
    QAction* action(int id) const;

  private:
    QMenuBar& bar_;
    std::map<int, std::vector<QAction*>> actions_;
    std::vector<QAction*> popups_;  // the bar's entries, in position order
};

}  // namespace keyscope
