#include "panekit/menumerger.h"

#include "panekit/action.h"

namespace panekit {

QString MenuMerger::labelOf(const MenuComponentData& entry) {
    switch (entry.getType()) {
    case MenuComponentData::TYPE_MENU:
        return static_cast<const MenuData&>(entry).getLabel();
    case MenuComponentData::TYPE_SIMPLE_ITEM:
    case MenuComponentData::TYPE_CHECKBOX_ITEM:
        return static_cast<const MenuItemData&>(entry).getLabel();
    case MenuComponentData::TYPE_SEPARATOR:
        break;
    }
    return {};
}

void MenuMerger::insertByPriority(std::vector<MergedMenuEntry>& entries, MergedMenuEntry entry) {
    auto at = std::find_if(entries.begin(), entries.end(),
                           [&](const MergedMenuEntry& e) { return e.priority > entry.priority; });
    entries.insert(at, std::move(entry));
}

void MenuMerger::mergeMenu(const MenuData& menu) {
    if (!menu.getKey().isEmpty() && removed_.contains(menu.getKey()))
        return;
    mergeInto(menus_, menu);
}

void MenuMerger::mergeContributedMenu(const MenuData& menu) {
    contributed_ = true;
    mergeInto(menus_, menu);
    contributed_ = false;
}

void MenuMerger::mergeItem(const QString& menuKey, const MenuComponentData& item) {
    for (MergedMenuEntry& m : menus_) {
        const bool byKey = std::any_of(m.menus.begin(), m.menus.end(),
                                       [&](const MenuData* d) { return d->getKey() == menuKey; });
        if (byKey || m.label == menuKey) {
            mergeInto(m.children, item);
            return;
        }
    }
}

void MenuMerger::mergeInto(std::vector<MergedMenuEntry>& entries, const MenuComponentData& entry) {
    if (!contributed_ && !entry.getKey().isEmpty() && removed_.contains(entry.getKey()))
        return;
    const QString label = labelOf(entry);
    const bool isMenu = entry.getType() == MenuComponentData::TYPE_MENU;
    if (!label.isEmpty()) {
        for (MergedMenuEntry& existing : entries) {
            if (existing.isSeparator() || existing.label != label || existing.isMenu() != isMenu)
                continue;
            if (isMenu) {
                const auto& menu = static_cast<const MenuData&>(entry);
                existing.menus.push_back(&menu);
                for (const auto& child : menu.getItems())
                    mergeInto(existing.children, *child);
            } else {
                Action* shown = static_cast<const MenuItemData*>(existing.data)->getAction();
                Action* twin = static_cast<const MenuItemData&>(entry).getAction();
                if (shown && twin && shown != twin) {
                    shown->addSharedAction(twin);
                    grouped_.push_back(shown);
                }
            }
            return;
        }
    }
    MergedMenuEntry merged;
    merged.data = &entry;
    merged.priority = entry.getPriority();
    merged.label = label;
    if (isMenu) {
        const auto& menu = static_cast<const MenuData&>(entry);
        merged.menus.push_back(&menu);
        for (const auto& child : menu.getItems())
            mergeInto(merged.children, *child);
    }
    insertByPriority(entries, std::move(merged));
}

void MenuMerger::trim(std::vector<MergedMenuEntry>& entries) {
    std::vector<MergedMenuEntry> kept;
    for (MergedMenuEntry& e : entries) {
        if (e.isSeparator() && (kept.empty() || kept.back().isSeparator()))
            continue;
        if (e.isMenu())
            trim(e.children);
        kept.push_back(std::move(e));
    }
    while (!kept.empty() && kept.back().isSeparator())
        kept.pop_back();
    entries = std::move(kept);
}

void MenuMerger::finish() {
    for (MergedMenuEntry& m : menus_)
        trim(m.children);
}

void MenuMerger::ungroup(const std::vector<QPointer<Action>>& actions) {
    for (const QPointer<Action>& a : actions)
        if (a)
            a->removeAllSharedActions();
}

} // namespace panekit
