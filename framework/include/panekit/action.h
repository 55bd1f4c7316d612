#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QAction;

namespace panekit {

class Tool;

// A command bound to one tool. Menu items and tool-bar buttons are its emitters (QActions);
// choosing one runs the action (run(), overridden by applications). Items that several tools
// contribute alike are merged: their actions form a shared group led by the first one, and a
// focus action runs in the member whose tool has the keyboard focus.
class Action : public QObject {
    Q_OBJECT

public:
    // later: run() is posted to the user-interface queue instead of called at once.
    explicit Action(bool later = false);
    ~Action() override;
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

    // The QAction this action wraps (its first emitter); place it in menus or tool bars.
    QAction* getQAction() const;

    void setTool(Tool* tool);
    Tool* getTool() const;

    // Records the state and enables or disables every emitter; in a shared group the call
    // goes to the group leader, which holds the common emitters.
    virtual void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    virtual void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    void setFocusAction(bool focus) { focusAction_ = focus; }
    bool isFocusAction() const { return focusAction_; }
    void setSeparateThread(bool separate) { separateThread_ = separate; }
    bool isSeparateThread() const { return separateThread_; }
    void setLater(bool later) { later_ = later; }
    bool isLater() const { return later_; }
    // The command text of the last invocation.
    QString getActionCommand() const;

    // The command itself. Runs holding this action's lock.
    virtual void run() {}
    // Waits for the runs started on separate threads. A subclass whose run() may be on
    // another thread calls it in its destructor, before its own members go.
    void waitForRuns();

    // What an emitter does: finds the target (for a focus action, this action or the first
    // twin, depth first, whose tool is showing and in focus; none: nothing happens), gives it
    // command and runs it on a new thread, later on the user-interface thread, or at once.
    void processAction(const QString& command);
    Action* findTargetAction();

    // Emitters trigger this action; one already added is refused with an error report.
    // An emitter that is destroyed leaves the list by itself.
    bool addEmitter(QAction* emitter, const QString& command = {});
    void removeEmitter(QAction* emitter);
    QList<QAction*> getEmitters() const;

    // ---- shared groups ----
    void addSharedAction(Action* twin);
    void removeSharedAction(Action* twin);
    void removeAllSharedActions();
    void setParentAction(Action* leader) { sharedParent_ = leader; }
    Action* getParentAction() const { return sharedParent_; }
    const QList<QPointer<Action>>& getSharedActions() const { return shared_; }
    // The leader of the group this action belongs to (itself when it leads or stands alone).
    Action* getGroupLeader();

private:
    void emitterTriggered(QAction* emitter, bool checked);
    void runLocked();
    void applyEnabled();

    QAction* own_ = nullptr;
    QPointer<Tool> tool_;
    bool enabled_ = true;
    bool selected_ = false;
    bool focusAction_ = false;
    bool separateThread_ = false;
    bool later_ = false;
    QString actionCommand_;
    mutable std::mutex commandMutex_;
    std::mutex runMutex_;
    QList<QPointer<QAction>> emitters_;
    QList<QPointer<Action>> shared_;
    QPointer<Action> sharedParent_;
    struct Runner {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Runner> threads_;
};

} // namespace panekit
