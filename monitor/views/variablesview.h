#pragma once

#include "core/record.h"
#include "panekit/tool.h"
#include "views/monitorevents.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <memory>

class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tracewin {

class DebugSession;

// What the page holds at the stop: a tree of name, type and value, group headings first
// (locals, request parameters, attributes by scope, the page's fields). Values that are new
// or changed since the last stop shown are marked; nodes the user opened stay open across
// stops while their names remain. While the view is shown the monitor asks the page
// runtimes for variables; when it is hidden it no longer does. With nothing to show it
// says why.
class VariablesView final : public panekit::Tool {
    Q_OBJECT
public:
    // How long a run's stops may go unshown, so that a fast run does not rebuild the tree
    // at every step; a stop that ends a run is shown at once.
    static constexpr int runRefreshMs = 100;

    VariablesView();
    ~VariablesView() override;

    QStringList getLinkEventNames() const override { return {}; }
    QWidget* getView() override;
    void toolInstalled() override;

    void setSession(std::shared_ptr<DebugSession> session);

    // What the view shows, for tests and the tool tip: the tree, or the message instead.
    QTreeWidget* tree() const;
    QString message() const;
    bool showsTree() const;
    // Whether the value of the item is marked as changed since the last stop.
    static bool isMarkedChanged(const QTreeWidgetItem& item);

private:
    void handleVariables(const VariablesEvent& e);
    void handleStartup(const StartupEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handleClientExit(const ClientExitEvent& e);

    void showMessage(const char* labelKey);
    void showLatest();
    void rebuild(const tracehook::PageVariables::Parsed& variables);
    void visibilityChanged();
    DebugSession* session() const { return session_.get(); }

    std::shared_ptr<DebugSession> session_;
    QPointer<QStackedWidget> stack_;
    QPointer<QLabel> message_;
    QPointer<QTreeWidget> tree_;
    QObject* watcher_ = nullptr; // tells shows and hides of the view
    QTimer refresh_;
    Variables latest_; // the stop's variables, not shown yet when pending_
    bool pending_ = false;
    bool stopHadVariables_ = false;
    bool hasShownStop_ = false; // a stop of this page was shown: later ones mark changes
    bool shown_ = false;
    // The values of the last stop shown, and the nodes open, by path.
    QHash<QString, QString> shownValues_;
    QSet<QString> expanded_;
    QSet<QString> seenGroups_; // headings open by default the first time they come
};

} // namespace tracewin
