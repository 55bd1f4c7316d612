#pragma once

#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tracewin {
class HtmlView;
class JspView;
class Monitor;
class SplitPageController;
} // namespace tracewin

namespace bench {

// The monitor's main window in this process, started as the program starts it, on a
// private copy of the staged install's data (its own listening port, status and output
// files). The views update as they do for a user; only the window is offscreen.
class MonitorHarness {
public:
    explicit MonitorHarness(const std::filesystem::path& stage);
    ~MonitorHarness();
    MonitorHarness(const MonitorHarness&) = delete;
    MonitorHarness& operator=(const MonitorHarness&) = delete;

    quint16 port() const;
    const std::filesystem::path& stage() const { return stage_; }
    std::filesystem::path workDir() const;

    // Whether a page has reached the monitor and the user could choose Fast forward.
    bool pageReady() const;
    // Waits until pageReady(); false when no page came within the time.
    bool waitForPage(std::chrono::seconds limit);
    // Shows or hides (minimises) the Variables view: while it shows, pages send variables.
    void showVariables(bool shown);
    // Chooses Fast forward as a click on its button does.
    void chooseFastForward();
    // Lets the event loop run until done() holds; false when the time ran out.
    static bool runUntil(const std::function<bool()>& done, std::chrono::seconds limit);
    // Lets the event loop finish what is queued (repaints included).
    static void settle();

    // Runs the staged pagerunner on a page, fast-forwards it from its first line and
    // returns the seconds from the choice to the page's end; a negative value when the
    // page did not run to its end.
    double fastForwardPage(const std::string& page);

    tracewin::HtmlView& htmlView() const { return *html_; }

private:
    std::filesystem::path stage_;
    QTemporaryDir root_;
    std::unique_ptr<tracewin::Monitor> monitor_;
    tracewin::JspView* jsp_ = nullptr;
    tracewin::HtmlView* html_ = nullptr;
    tracewin::SplitPageController* page_ = nullptr;
};

// Copies the data of a staged install (configuration, labels, icons) below root, with a
// debug settings file that makes the monitor listen on any free port; the programs stay
// where they are staged. Returns the runtime home to give setUpInstallPaths.
std::string prepareInstallCopy(const std::filesystem::path& stage,
                               const std::filesystem::path& root);

// The resident set of this process in KiB, from /proc/self/statm.
long residentKiB();

} // namespace bench
