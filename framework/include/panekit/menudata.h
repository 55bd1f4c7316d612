#pragma once

#include "panekit/action.h"
#include "panekit/contribution.h"

#include <QChar>
#include <QIcon>
#include <QKeySequence>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace panekit {

// One entry of a menu description: a separator, an item, a check-box item or a submenu.
// Entries are placed by priority within their menu (see MenuManager).
class MenuComponentData : public ContributionItem {
public:
    enum Type { TYPE_SEPARATOR, TYPE_SIMPLE_ITEM, TYPE_CHECKBOX_ITEM, TYPE_MENU };

    explicit MenuComponentData(Type type) : type_(type) {}

    Type getType() const { return type_; }
    void setPriority(int priority) { priority_ = priority; }
    int getPriority() const { return priority_; }
    // The resource key the entry was made from (predefined entries are removed by it).
    QString getKey() const { return key_; }
    void setKey(const QString& key) { key_ = key; }

    // The separator every menu may share.
    static std::shared_ptr<MenuComponentData> separator() {
        static const auto shared = std::make_shared<MenuComponentData>(TYPE_SEPARATOR);
        return shared;
    }
    static std::shared_ptr<MenuComponentData> separator(int priority) {
        auto s = std::make_shared<MenuComponentData>(TYPE_SEPARATOR);
        s->setPriority(priority);
        return s;
    }

private:
    Type type_;
    int priority_ = 0;
    QString key_;
};

// A menu item bound to an action. The label is the text without its mnemonic marker; the
// mnemonic and accelerator are kept apart (Application::getMenuItemData fills all three
// from a resource text such as "&Step@CTRL+VK_S").
class MenuItemData : public MenuComponentData {
public:
    explicit MenuItemData(const QString& label = {}, Action* action = nullptr)
        : MenuComponentData(TYPE_SIMPLE_ITEM), text_(label), action_(action) {}

    QString getLabel() const { return text_; }
    void setLabel(const QString& label) { text_ = label; }
    QString getText() const { return text_; }
    void setText(const QString& text) { text_ = text; }
    // Shown as the status message while the item is armed.
    QString getDescription() const { return description_; }
    void setDescription(const QString& d) { description_ = d; }
    QIcon getIcon() const { return icon_; }
    void setIcon(const QIcon& icon) { icon_ = icon; }
    QIcon getDisabledIcon() const { return disabledIcon_; }
    void setDisabledIcon(const QIcon& icon) { disabledIcon_ = icon; }
    // The command given to the action; the label when empty.
    QString getActionCommand() const { return actionCommand_.isEmpty() ? text_ : actionCommand_; }
    void setActionCommand(const QString& c) { actionCommand_ = c; }
    QChar getMnemonic() const { return mnemonic_; }
    void setMnemonic(QChar m) { mnemonic_ = m; }
    QKeySequence getAccelerator() const { return accelerator_; }
    void setAccelerator(const QKeySequence& k) { accelerator_ = k; }
    Action* getAction() const { return action_; }
    void setAction(Action* action) { action_ = action; }

protected:
    explicit MenuItemData(Type type, const QString& label, Action* action)
        : MenuComponentData(type), text_(label), action_(action) {}

private:
    QString text_;
    QString description_;
    QIcon icon_;
    QIcon disabledIcon_;
    QString actionCommand_;
    QChar mnemonic_;
    QKeySequence accelerator_;
    QPointer<Action> action_;
};

class CheckBoxMenuItemData : public MenuItemData {
public:
    explicit CheckBoxMenuItemData(const QString& label = {}, Action* action = nullptr)
        : MenuItemData(TYPE_CHECKBOX_ITEM, label, action) {}

    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }

private:
    bool selected_ = false;
};

// A menu: ordered entries, a label and mnemonic, and the resource key it was made from.
class MenuData : public MenuComponentData {
public:
    explicit MenuData(const QString& label = {}) : MenuComponentData(TYPE_MENU), label_(label) {}

    QString getLabel() const { return label_; }
    void setLabel(const QString& label) { label_ = label; }
    QChar getMnemonic() const { return mnemonic_; }
    void setMnemonic(QChar m) { mnemonic_ = m; }

    void add(std::shared_ptr<MenuComponentData> entry) {
        if (entry)
            items_.push_back(std::move(entry));
    }
    void addMenuItem(std::shared_ptr<MenuItemData> item) { add(std::move(item)); }
    void addSeparator() { add(separator()); }
    void remove(const MenuComponentData* entry) {
        std::erase_if(items_, [entry](const auto& e) { return e.get() == entry; });
    }
    void removeMenuItem(const MenuComponentData* entry) { remove(entry); }
    // The item or submenu with that label, or null.
    MenuComponentData* findMenuItem(const QString& label) const;
    int getMenuItemCount() const { return int(items_.size()); }
    MenuComponentData* getMenuItemAt(int index) const {
        return index >= 0 && index < getMenuItemCount() ? items_[size_t(index)].get() : nullptr;
    }
    const std::vector<std::shared_ptr<MenuComponentData>>& getItems() const { return items_; }

    // A focus menu follows the tool in focus ("Selected" menu).
    void setFocusMenu(bool focus) { focusMenu_ = focus; }
    bool isFocusMenu() const { return focusMenu_; }
    // Called with the built menu just before it shows.
    void setMenuListener(std::function<void(QMenu*)> listener) { listener_ = std::move(listener); }
    const std::function<void(QMenu*)>& getMenuListener() const { return listener_; }

private:
    QString label_;
    QChar mnemonic_;
    std::vector<std::shared_ptr<MenuComponentData>> items_;
    bool focusMenu_ = false;
    std::function<void(QMenu*)> listener_;
};

inline MenuComponentData* MenuData::findMenuItem(const QString& label) const {
    for (const auto& e : items_) {
        if (e->getType() == TYPE_MENU && static_cast<MenuData*>(e.get())->getLabel() == label)
            return e.get();
        if ((e->getType() == TYPE_SIMPLE_ITEM || e->getType() == TYPE_CHECKBOX_ITEM) &&
            static_cast<MenuItemData*>(e.get())->getLabel() == label)
            return e.get();
    }
    return nullptr;
}

// The menus one tool contributes, and the menu it shows under "Selected" while in focus.
class MenuContribution : public Contribution<MenuData> {
public:
    void addMenuData(std::shared_ptr<MenuData> menu) { add(std::move(menu)); }
    void removeMenuData(const MenuData* menu) { remove(menu); }
    int getMenuDataCount() const { return getItemCount(); }
    MenuData* getMenuData(int index) const { return getItem(index); }
    void setFocusMenu(std::shared_ptr<MenuData> menu) { focusMenu_ = std::move(menu); }
    MenuData* getFocusMenu() const { return focusMenu_.get(); }

private:
    std::shared_ptr<MenuData> focusMenu_;
};

} // namespace panekit
