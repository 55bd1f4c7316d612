#pragma once

#include "core/debugsession.h"
#include "core/monitorsettings.h"
#include "core/runtimeconnections.h"
#include "panekit/tool.h"

#include <QElapsedTimer>

namespace tracewin {

class ClientExitEvent;
class ExitEvent;
class NextErrEvent;
class PrevErrEvent;
class RestartConnectionEvent;
class ResumeEvent;
class SetBreakpointEvent;
class SwitchJspFileEvent;

// The controller of the monitor's outer workbook: its link to the page runtimes. Records
// from the runtimes become link events for the child pages (each page controller gets its
// own copy); commands the pages send up become replies on the wire.
class MonitorController : public panekit::Tool, private RuntimeConnectionEvents {
    Q_OBJECT
public:
    MonitorController();
    ~MonitorController() override;

    QStringList getLinkEventNames() const override;
    void toolActive() override;
    bool windowClosing() override;
    bool applicationExiting() override;

    // Opens the listening socket on the port of the debug settings. False when it cannot.
    bool init();
    int port() const { return port_; }
    RuntimeConnections& connections() { return connections_; }
    // Where the settings files are; tests point it at their own tree.
    void setSettings(MonitorSettings settings);
    // The debugging session of the monitor, which the controller owns and hands out.
    const std::shared_ptr<DebugSession>& session() const { return session_; }
    // A hidden monitor (start-up option) opens no socket and shows no window.
    void setHidden(bool hidden) { hidden_ = hidden; }
    // What a start-up failure does; by default it is reported and the process ends.
    void setStartFailureHandler(std::function<void(const std::string&)> handler) {
        startFailed_ = std::move(handler);
    }

private:
    void handleResume(ResumeEvent& e);
    void handlePrevErr(PrevErrEvent& e);
    void handleNextErr(NextErrEvent& e);
    void handleSetBreakpoint(SetBreakpointEvent& e);
    void handleSwitchJspFile(SwitchJspFileEvent& e);
    void handleClientExit(ClientExitEvent& e);
    void handleExit(ExitEvent& e);
    void handleRestartConnection(RestartConnectionEvent& e);

    // What the connections report, fired to the child pages.
    void startup(const Record& record) override;
    void highlight(const Record& record) override;
    void html(const Record& record) override;
    void clientExit(const Record& record, int code) override;
    void switchFromServlet(const Record& record) override;
    void switchAnswered(const Record& record) override;
    void variables(const Variables& variables) override;
    std::optional<int> continueItem() const override;
    std::optional<AheadAnswer> answerAhead() const override;
    void passed(const Record& record) override;
    bool passedMayGoTogether() const override;
    // One PassedEvent for them all.
    void passedTogether(std::vector<Record> records) override;
    void fireHighlight(const Record& record, std::int32_t eventType);
    // What one delivery from a page runtime sets off runs when its handling ends, without
    // a turn of the event loop.
    void beginDelivery() override;
    void endDelivery() override;
    bool isHidden() const override;
    bool isMainWindowVisible() const override;
    void showMainWindow() override;
    void raiseMainWindow() override;

    MonitorSettings settings_;
    std::shared_ptr<DebugSession> session_;
    RuntimeConnections connections_;
    Variables nextStopVariables_; // sent for the stop whose line record comes next
    bool variablesShown_ = false; // the pages were last given variables, not none
    int port_ = 8082;
    bool exiting_ = false;
    bool hidden_ = false;
    std::function<void(const std::string&)> startFailed_;
};

} // namespace tracewin
