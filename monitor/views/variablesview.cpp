#include "views/variablesview.h"

#include "core/debugsession.h"
#include "tracehook/jspresource.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeWidget>

namespace tracewin {
namespace {

enum Column { NameColumn = 0, TypeColumn = 1, ValueColumn = 2 };
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kChangedRole = Qt::UserRole + 2;
const QChar kPathSeparator(0x1F);

QString label(const char* key) {
    return QString::fromStdString(tracehook::JspResource::getToolString(key));
}

QString path(const QTreeWidgetItem* item) {
    return item ? item->data(NameColumn, kPathRole).toString() : QString();
}

// Shows and hides of the view's widget, which decide whether variables are asked for.
class VisibilityWatcher : public QObject {
public:
    VisibilityWatcher(QObject* parent, std::function<void()> changed)
        : QObject(parent), changed_(std::move(changed)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            changed_();
        return false;
    }

private:
    std::function<void()> changed_;
};

} // namespace

VariablesView::VariablesView() {
    refresh_.setSingleShot(true);
    connect(&refresh_, &QTimer::timeout, this, [this] { showLatest(); });
    onLinkEvent<VariablesEvent>(&VariablesView::handleVariables);
    onLinkEvent<StartupEvent>(&VariablesView::handleStartup);
    onLinkEvent<HighlightEvent>(&VariablesView::handleHighlight);
    // Only the last position a run passed shows.
    onLinkEvent<PassedEvent>(lastPositionTo(this, &VariablesView::handleHighlight));
    onLinkEvent<ClientExitEvent>(&VariablesView::handleClientExit);
}

VariablesView::~VariablesView() {
    if (stack_)
        stack_->removeEventFilter(watcher_);
    if (session_ && shown_)
        session_->setVariablesViewShown(false);
    delete stack_;
}

void VariablesView::toolInstalled() {
    setTitle(label("L-VariablesViewTitle") + QStringLiteral("  "));
}

QWidget* VariablesView::getView() {
    if (stack_)
        return stack_;
    stack_ = new QStackedWidget;
    message_ = new QLabel(label("L-VariablesNoPage"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setEnabled(false); // greyed: it is a note, not content
    tree_ = new QTreeWidget;
    tree_->setColumnCount(3);
    tree_->setHeaderLabels({label("L-VariablesHeaderName"), label("L-VariablesHeaderType"),
                            label("L-VariablesHeaderValue")});
    tree_->setUniformRowHeights(true);
    tree_->setAlternatingRowColors(true);
    tree_->header()->setStretchLastSection(true);
    tree_->setColumnWidth(NameColumn, 160);
    tree_->setColumnWidth(TypeColumn, 130);
    connect(tree_, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { expanded_.insert(path(item)); });
    connect(tree_, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { expanded_.remove(path(item)); });
    stack_->addWidget(message_);
    stack_->addWidget(tree_);
    watcher_ = new VisibilityWatcher(this, [this] { visibilityChanged(); });
    stack_->installEventFilter(watcher_);
    return stack_;
}

void VariablesView::setSession(std::shared_ptr<DebugSession> session) {
    session_ = std::move(session);
    if (session_)
        session_->setVariablesViewShown(shown_);
}

void VariablesView::visibilityChanged() {
    const bool shown = stack_ && stack_->isVisible();
    if (shown == shown_)
        return;
    shown_ = shown;
    if (session_)
        session_->setVariablesViewShown(shown_);
    // Shown at a stop that came without variables: they come with the next one.
    if (shown_ && !latest_ && !showsTree() && message_ &&
        message_->text() == label("L-VariablesNoneSent"))
        showMessage("L-VariablesNextStop");
}

QTreeWidget* VariablesView::tree() const {
    return tree_;
}

QString VariablesView::message() const {
    return message_ && !showsTree() ? message_->text() : QString();
}

bool VariablesView::showsTree() const {
    return stack_ && stack_->currentWidget() == tree_;
}

bool VariablesView::isMarkedChanged(const QTreeWidgetItem& item) {
    return item.data(ValueColumn, kChangedRole).toBool();
}

void VariablesView::showMessage(const char* labelKey) {
    getView();
    message_->setText(label(labelKey));
    stack_->setCurrentWidget(message_);
}

void VariablesView::handleStartup(const StartupEvent&) {
    refresh_.stop();
    latest_ = nullptr;
    pending_ = false;
    stopHadVariables_ = false;
    hasShownStop_ = false;
    shownValues_.clear();
    showMessage("L-VariablesNoPage");
}

void VariablesView::handleVariables(const VariablesEvent& e) {
    const Variables* variables = e.itemAs<Variables>();
    latest_ = variables ? *variables : nullptr;
    stopHadVariables_ = latest_ != nullptr;
    if (!latest_)
        return; // the stop's highlight tells what to say
    pending_ = true;
    // While a run goes on, its stops are shown at a pace; a stop is shown at once.
    if (session_ && session_->isRunning()) {
        if (!refresh_.isActive())
            refresh_.start(runRefreshMs);
        return;
    }
    showLatest();
}

void VariablesView::handleHighlight(const HighlightEvent& e) {
    // Another page of the request shown where it waits: the stop and its variables stay.
    if (e.getEventType() == kShownAgain)
        return;
    const Record* record = e.itemAs<Record>();
    // A page that does not compile never runs: it has no stop, and no variables to wait for.
    if (record && *record &&
        (*record)->getInfoType() == tracehook::JspSourceInfo::COMPILE_ERR_LINE_INFO)
        return;
    const bool isStop = record && *record;
    if (isStop && !stopHadVariables_ && !pending_) {
        refresh_.stop();
        latest_ = nullptr;
        const bool asked = session_ && session_->variablesWanted();
        showMessage(asked ? "L-VariablesNoneSent" : "L-VariablesNextStop");
    }
    stopHadVariables_ = false;
}

void VariablesView::handleClientExit(const ClientExitEvent&) {
    refresh_.stop();
    latest_ = nullptr;
    pending_ = false;
    hasShownStop_ = false;
    shownValues_.clear();
    showMessage("L-VariablesPageEnded");
}

void VariablesView::showLatest() {
    if (!pending_ || !latest_)
        return;
    pending_ = false;
    rebuild(*latest_);
}

void VariablesView::rebuild(const tracehook::PageVariables::Parsed& variables) {
    getView();
    const int scrolled = tree_->verticalScrollBar()->value();
    const QString current = path(tree_->currentItem());
    tree_->setUpdatesEnabled(false);
    tree_->clear();

    QHash<QString, QString> values;
    std::vector<QTreeWidgetItem*> parents;
    QTreeWidgetItem* currentItem = nullptr;
    std::vector<QTreeWidgetItem*> toExpand;
    for (const tracehook::PageVariable& v : variables.entries) {
        parents.resize(static_cast<std::size_t>(v.depth));
        QTreeWidgetItem* parent = parents.empty() ? nullptr : parents.back();
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        const QString name = QString::fromStdString(v.name);
        const QString itemPath = path(parent) + kPathSeparator + name;
        item->setData(NameColumn, kPathRole, itemPath);
        item->setText(NameColumn, name);
        if (v.group) {
            item->setFirstColumnSpanned(true);
            QFont bold = item->font(NameColumn);
            bold.setBold(true);
            item->setFont(NameColumn, bold);
            if (!seenGroups_.contains(itemPath)) {
                seenGroups_.insert(itemPath);
                expanded_.insert(itemPath);
            }
        } else {
            const QString value = QString::fromStdString(v.value);
            item->setText(TypeColumn, QString::fromStdString(v.type));
            item->setText(ValueColumn, v.cut ? value + QStringLiteral(" \u2026") : value);
            item->setToolTip(ValueColumn,
                             v.cut ? value + QStringLiteral("\n\n") + label("L-VariablesCut")
                                   : value);
            const auto before = shownValues_.constFind(itemPath);
            const bool changed =
                hasShownStop_ && (before == shownValues_.constEnd() || *before != value);
            if (changed) {
                QFont bold = item->font(ValueColumn);
                bold.setBold(true);
                item->setFont(ValueColumn, bold);
                item->setForeground(ValueColumn, QColor(0xB0, 0x20, 0x00));
                item->setData(ValueColumn, kChangedRole, true);
            }
            values.insert(itemPath, value);
        }
        if (expanded_.contains(itemPath))
            toExpand.push_back(item);
        if (itemPath == current)
            currentItem = item;
        parents.push_back(item);
    }
    {
        const QSignalBlocker quiet(tree_); // the set of open nodes stays what the user made it
        for (QTreeWidgetItem* item : toExpand)
            item->setExpanded(true);
    }
    if (currentItem)
        tree_->setCurrentItem(currentItem);
    tree_->verticalScrollBar()->setValue(scrolled);
    tree_->setUpdatesEnabled(true);
    shownValues_ = std::move(values);
    hasShownStop_ = true;
    stack_->setCurrentWidget(tree_);
}

} // namespace tracewin
