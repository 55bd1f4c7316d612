#pragma once

#include "panekit/action.h"
#include "panekit/menudata.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <vector>

namespace panekit {

class Action;

// One entry of a merged menu bar: the description shown (the first one to arrive), the
// menus merged into it, and its children when it is a menu.
struct MergedMenuEntry {
    const MenuComponentData* data = nullptr;
    int priority = 0;
    QString label;                      // empty for separators
    std::vector<const MenuData*> menus; // every description merged into this menu
    std::vector<MergedMenuEntry> children;

    bool isSeparator() const {
        return data && data->getType() == MenuComponentData::TYPE_SEPARATOR;
    }
    bool isMenu() const { return data && data->getType() == MenuComponentData::TYPE_MENU; }
};

// Merges menu descriptions into one menu tree, without widgets: a menu goes into the menu
// of the same label (a new one is placed by priority), an item whose label equals an existing
// item's joins it (its action becomes a shared twin of the shown item's action), a submenu
// of the same label merges recursively, and anything else is inserted before the first entry
// of greater priority (equal priorities keep their order of arrival).
class MenuMerger {
public:
    // Predefined entries whose key is listed are left out (the application removed them).
    explicit MenuMerger(QSet<QString> removedKeys = {}) : removed_(std::move(removedKeys)) {}

    // A predefined menu: entries with a removed key stay out.
    void mergeMenu(const MenuData& menu);
    // A menu a tool contributes: the application wants all of it, even an entry whose key
    // is that of a predefined entry it removed.
    void mergeContributedMenu(const MenuData& menu);
    // A single item for the top-level menu with that key (or label); none: ignored.
    void mergeItem(const QString& menuKey, const MenuComponentData& item);
    // Drops leading, trailing and doubled separators.
    void finish();

    const std::vector<MergedMenuEntry>& getMenus() const { return menus_; }
    // The actions put into shared groups by this merge (so that a later merge can undo them).
    const std::vector<QPointer<Action>>& getGroupedActions() const { return grouped_; }

    // Undoes the groups of an earlier merge.
    static void ungroup(const std::vector<QPointer<Action>>& actions);

private:
    void mergeInto(std::vector<MergedMenuEntry>& entries, const MenuComponentData& entry);
    static void insertByPriority(std::vector<MergedMenuEntry>& entries, MergedMenuEntry entry);
    static void trim(std::vector<MergedMenuEntry>& entries);
    static QString labelOf(const MenuComponentData& entry);

    QSet<QString> removed_;
    bool contributed_ = false; // the menu being merged is a tool's: nothing is left out
    std::vector<MergedMenuEntry> menus_;
    std::vector<QPointer<Action>> grouped_;
};

} // namespace panekit
