#include "panekit/action.h"

#include "panekit/tool.h"

#include <QAction>
#include <cstdio>

namespace panekit {
namespace {

const char* const commandProperty = "panekitActionCommand";

void printError(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

Action::Action(bool later) : own_(new QAction(this)), later_(later) {
    addEmitter(own_);
}

Action::~Action() {
    waitForRuns();
    if (sharedParent_)
        sharedParent_->removeSharedAction(this);
    for (const QPointer<Action>& twin : shared_)
        if (twin)
            twin->sharedParent_ = nullptr;
}

void Action::waitForRuns() {
    for (Runner& r : threads_)
        if (r.thread.joinable())
            r.thread.join();
    threads_.clear();
}

QAction* Action::getQAction() const {
    return own_;
}

void Action::setTool(Tool* tool) {
    tool_ = tool;
}

Tool* Action::getTool() const {
    return tool_;
}

void Action::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (sharedParent_) {
        sharedParent_->setEnabled(enabled);
        return;
    }
    applyEnabled();
}

void Action::applyEnabled() {
    for (const QPointer<QAction>& e : emitters_)
        if (e)
            e->setEnabled(enabled_);
}

void Action::setSelected(bool selected) {
    selected_ = selected;
    for (const QPointer<QAction>& e : emitters_)
        if (e && e->isCheckable() && e->isChecked() != selected)
            e->setChecked(selected);
}

QString Action::getActionCommand() const {
    std::lock_guard lock(commandMutex_);
    return actionCommand_;
}

bool Action::addEmitter(QAction* emitter, const QString& command) {
    if (!emitter)
        return false;
    for (const QPointer<QAction>& e : emitters_) {
        if (e == emitter) {
            printError(QStringLiteral("Emitter ") + emitter->text() +
                       QStringLiteral(" is already an emitter of this action; refused"));
            return false;
        }
    }
    emitters_.append(emitter);
    if (!command.isEmpty())
        emitter->setProperty(commandProperty, command);
    emitter->setEnabled(enabled_);
    if (emitter->isCheckable())
        emitter->setChecked(selected_);
    connect(emitter, &QAction::triggered, this,
            [this, emitter](bool checked) { emitterTriggered(emitter, checked); });
    connect(emitter, &QObject::destroyed, this,
            [this] { emitters_.removeIf([](const QPointer<QAction>& e) { return e.isNull(); }); });
    return true;
}

void Action::removeEmitter(QAction* emitter) {
    emitters_.removeIf(
        [emitter](const QPointer<QAction>& e) { return e.isNull() || e == emitter; });
    if (emitter)
        disconnect(emitter, nullptr, this, nullptr);
}

QList<QAction*> Action::getEmitters() const {
    QList<QAction*> out;
    for (const QPointer<QAction>& e : emitters_)
        if (e)
            out.append(e);
    return out;
}

void Action::emitterTriggered(QAction* emitter, bool checked) {
    if (emitter->isCheckable())
        selected_ = checked;
    QString command = emitter->property(commandProperty).toString();
    if (command.isEmpty())
        command = emitter->text();
    processAction(command);
}

Action* Action::findTargetAction() {
    if (!focusAction_)
        return this;
    auto inFocus = [](Action* a) {
        Tool* t = a->getTool();
        return t && t->isShowing() && t->isInFocus();
    };
    if (inFocus(this))
        return this;
    // Depth first through the twins and their own twins.
    std::vector<Action*> stack;
    for (auto it = shared_.rbegin(); it != shared_.rend(); ++it)
        if (*it)
            stack.push_back(*it);
    while (!stack.empty()) {
        Action* a = stack.back();
        stack.pop_back();
        if (inFocus(a))
            return a;
        for (auto it = a->shared_.rbegin(); it != a->shared_.rend(); ++it)
            if (*it)
                stack.push_back(*it);
    }
    return nullptr;
}

void Action::processAction(const QString& command) {
    Action* target = findTargetAction();
    if (!target)
        return;
    {
        std::lock_guard lock(target->commandMutex_);
        target->actionCommand_ = command;
    }
    if (target->separateThread_) {
        // Finished runs are joined here, so the list stays as long as the runs in flight.
        std::erase_if(target->threads_, [](Runner& r) {
            if (!r.done->load())
                return false;
            r.thread.join();
            return true;
        });
        auto done = std::make_shared<std::atomic<bool>>(false);
        target->threads_.push_back(Runner{std::thread([target, done] {
                                              target->runLocked();
                                              done->store(true);
                                          }),
                                          done});
    } else if (target->later_) {
        QMetaObject::invokeMethod(
            target, [target] { target->runLocked(); }, Qt::QueuedConnection);
    } else {
        target->runLocked();
    }
}

void Action::runLocked() {
    std::lock_guard lock(runMutex_);
    run();
}

void Action::addSharedAction(Action* twin) {
    if (!twin || twin == this || shared_.contains(twin))
        return;
    shared_.append(twin);
    twin->sharedParent_ = this;
}

void Action::removeSharedAction(Action* twin) {
    shared_.removeIf([twin](const QPointer<Action>& a) { return a.isNull() || a == twin; });
    if (twin && twin->sharedParent_ == this)
        twin->sharedParent_ = nullptr;
}

void Action::removeAllSharedActions() {
    for (const QPointer<Action>& twin : shared_)
        if (twin && twin->sharedParent_ == this)
            twin->sharedParent_ = nullptr;
    shared_.clear();
}

Action* Action::getGroupLeader() {
    Action* a = this;
    while (a->sharedParent_)
        a = a->sharedParent_;
    return a;
}

} // namespace panekit
