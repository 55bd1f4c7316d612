#pragma once

#include "panekit/action.h"
#include "panekit/contribution.h"

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

namespace panekit {

class Profile;

// An entry of a tool bar. A group leader is preceded by a separator.
class ToolBarComponent : public ContributionItem {
public:
    virtual ~ToolBarComponent() = default;

    void setName(const QString& name) { name_ = name; }
    QString getName() const { return name_; }
    void setVisible(bool visible) { visible_ = visible; }
    bool isVisible() const { return visible_; }
    void setLeader(bool leader) { leader_ = leader; }
    bool isLeader() const { return leader_; }
    // A component given by the tool itself (a combo box, a field); null for buttons.
    virtual QWidget* getWidget() const { return nullptr; }

private:
    QString name_;
    bool visible_ = true;
    bool leader_ = false;
};

// A button bound to an action; its action command is also its identifier.
class ToolBarButtonData : public ToolBarComponent {
public:
    ToolBarButtonData() = default;
    ToolBarButtonData(const QString& name, const QIcon& icon, const QString& actionCommand,
                      const QString& tooltip, Action* action)
        : actionCommand_(actionCommand), tooltip_(tooltip), icon_(icon), action_(action) {
        setName(name);
        text_ = name;
    }

    QString getActionCommand() const { return actionCommand_; }
    void setActionCommand(const QString& c) { actionCommand_ = c; }
    QString getTooltip() const { return tooltip_; }
    void setTooltip(const QString& t) { tooltip_ = t; }
    QString getText() const { return text_; }
    void setText(const QString& t) { text_ = t; }
    // Shows the text beside the picture even in pictures mode.
    bool isShowText() const { return showText_; }
    void setShowText(bool show) { showText_ = show; }
    QIcon getIcon() const { return icon_; }
    void setIcon(const QIcon& icon) { icon_ = icon; }
    QIcon getPressedIcon() const { return pressedIcon_; }
    void setPressedIcon(const QIcon& icon) { pressedIcon_ = icon; }
    QIcon getDisabledIcon() const { return disabledIcon_; }
    void setDisabledIcon(const QIcon& icon) { disabledIcon_ = icon; }
    Action* getAction() const;
    void setAction(Action* action);

private:
    QString actionCommand_;
    QString tooltip_;
    QString text_;
    bool showText_ = false;
    QIcon icon_;
    QIcon pressedIcon_;
    QIcon disabledIcon_;
    QPointer<Action> action_;
};

// A tool-supplied widget in a tool bar. The tool bar takes the widget over.
class ToolBarWidgetData : public ToolBarComponent {
public:
    explicit ToolBarWidgetData(QWidget* widget) : widget_(widget) {}
    QWidget* getWidget() const override { return widget_; }

private:
    QPointer<QWidget> widget_;
};

// The buttons and components of one tool bar, where it docks, when it shows and how its
// buttons look. Mode, location, policy and border style are kept in the pane-settings
// profile under getKey().
class ToolBarContribution : public Contribution<ToolBarComponent> {
public:
    enum Mode { PICTURES, TEXT, PICTURES_TEXT };
    enum Location { TOP, LEFT, BOTTOM, RIGHT, FLOATING };
    // When the bar shows relative to the focus of its tool: never; only while the tool has
    // the focus; always, enabled only while the tool has the focus; always.
    enum Policy { SHOW_NEVER, SHOW_FOCUS, SHOW_FOCUS_ENABLE, SHOW_ALWAYS };
    enum BorderStyle {
        BORDER_NEVER,
        BORDER_ROLLOVER,
        BORDER_ON_MOUSE_OVER,
        BORDER_ALWAYS,
        BORDER_SOFT
    };

    void addButtonData(std::shared_ptr<ToolBarButtonData> button) { add(std::move(button)); }
    void removeButtonData(const ToolBarButtonData* button) { remove(button); }
    void addComponent(std::shared_ptr<ToolBarComponent> c) { add(std::move(c)); }
    void removeComponent(const ToolBarComponent* c) { remove(c); }
    int getComponentCount() const { return getItemCount(); }
    ToolBarComponent* getComponentData(int index) const { return getItem(index); }
    // The component with that name (or, for a button, action command), or null.
    ToolBarComponent* findComponent(const QString& name) const;

    void setShowPolicy(Policy p) { policy_ = p; }
    Policy getShowPolicy() const { return policy_; }
    void setMode(Mode m) { mode_ = m; }
    Mode getMode() const { return mode_; }
    void setBorderStyle(BorderStyle b) { border_ = b; }
    BorderStyle getBorderStyle() const { return border_; }
    void setLocation(Location l) { location_ = l; }
    Location getLocation() const { return location_; }
    void setKey(const QString& key) { key_ = key; }
    // The profile key: as set, else "ToolBar." + the tool's name.
    QString getKey() const;

    void initializeFromProfile(const Profile& profile);
    void saveToProfile(Profile& profile) const;
    // Mode, location, policy and border style of other.
    void copyFrom(const ToolBarContribution& other);

    static QString modeName(Mode m);
    static QString locationName(Location l);
    static QString policyName(Policy p);
    static QString borderName(BorderStyle b);

private:
    Mode mode_ = PICTURES;
    Location location_ = TOP;
    Policy policy_ = SHOW_ALWAYS;
    BorderStyle border_ = BORDER_ROLLOVER;
    QString key_;
};

} // namespace panekit
