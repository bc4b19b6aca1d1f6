#include "dashboard/DashboardMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace keyscope {
namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view popupTitle(menu::Place place) {
    switch (place) {
        case menu::Place::Device:
            return menu::kDeviceTitle;
        case menu::Place::Settings:
            return menu::kSettingsTitle;
        case menu::Place::About:
            return menu::kAboutTitle;
        case menu::Place::Bar:
            break;
    }
    return {};
}

}  // namespace

DashboardMenu::DashboardMenu(QMenuBar& bar, const CommandHandler& onCommand) : bar_(bar) {
    std::map<menu::Place, QMenu*> popups;
    for (const menu::Item& item : menu::kItems) {
        QAction* action = nullptr;
        if (item.place == menu::Place::Bar) {
            action = bar.addAction(toQString(item.text));
            popups_.push_back(action);
        } else {
            QMenu*& popup = popups[item.place];
            if (popup == nullptr) {
                popup = bar.addMenu(toQString(popupTitle(item.place)));
                popups_.push_back(popup->menuAction());
            }
            action = popup->addAction(toQString(item.text));
        }
        action->setEnabled(item.enabled);
        if (const auto tip = item.description.find('\n'); tip != std::string_view::npos) {
            action->setToolTip(toQString(item.description.substr(tip + 1)));
            action->setStatusTip(action->toolTip());
        }
        QObject::connect(action, &QAction::triggered, &bar,
                         [onCommand, id = item.id] { onCommand(id); });
        actions_[item.id].push_back(action);
    }
}

void DashboardMenu::setEnabled(int id, bool enabled) {
    if (const auto found = actions_.find(id); found != actions_.end()) {
        for (QAction* action : found->second) {
            action->setEnabled(enabled);
        }
    }
}

void DashboardMenu::applyColumn(menu::Column column) {
    for (const menu::ConnectRow& row : menu::kConnectColumns) {
        setEnabled(row.id, menu::columnState(row, column));
    }
}

void DashboardMenu::removeItem(int id) {
    const auto found = actions_.find(id);
    if (found == actions_.end()) {
        return;
    }
    for (QAction* action : found->second) {
        if (auto* popup = qobject_cast<QMenu*>(action->parent())) {
            popup->removeAction(action);
        } else {
            bar_.removeAction(action);
        }
        action->deleteLater();
    }
    actions_.erase(found);
}

void DashboardMenu::setPopupEnabled(int position, bool enabled) {
    if (position >= 0 && position < static_cast<int>(popups_.size())) {
        popups_[static_cast<std::size_t>(position)]->setEnabled(enabled);
    }
}

bool DashboardMenu::contains(int id) const {
    return actions_.count(id) != 0;
}

bool DashboardMenu::isEnabled(int id) const {
    const auto found = actions_.find(id);
    if (found == actions_.end()) {
        return false;
    }
    for (const QAction* action : found->second) {
        if (!action->isEnabled()) {
            return false;
        }
    }
    return true;
}

bool DashboardMenu::isPopupEnabled(int position) const {
    return position >= 0 && position < static_cast<int>(popups_.size()) &&
           popups_[static_cast<std::size_t>(position)]->isEnabled();
}

int DashboardMenu::placeCount(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? 0 : static_cast<int>(found->second.size());
}

bool DashboardMenu::trigger(int id) {
    QAction* first = action(id);
    if (first == nullptr || !first->isEnabled()) {
        return false;
    }
    // A grayed popup cannot be opened, so nothing inside it can be chosen.
    if (auto* popup = qobject_cast<QMenu*>(first->parent());
        popup != nullptr && !popup->menuAction()->isEnabled()) {
        return false;
    }
    first->trigger();
    return true;
}

QAction* DashboardMenu::action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() || found->second.empty() ? nullptr : found->second.front();
}

}  // namespace keyscope
