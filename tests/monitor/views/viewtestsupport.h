#pragma once

#include "core/monitorsettings.h"
#include "core/record.h"
#include "core/states.h"
#include "panekit/tool.h"
#include "support/tempdir.h"
#include "tracehook/jspsourceinfo.h"
#include "views/monitorevents.h"
#include "views/statusline.h"

#include <QScrollArea>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace viewtest {

using tracehook::JspSourceInfo;

// A tool that records every event it is given, at once.
class Probe : public panekit::Tool {
public:
    Probe() {
        setSynchronousDispatch(true);
        onLinkEvent<panekit::LinkEvent>(&Probe::take);
    }
    void take(const panekit::LinkEvent& e) { events.push_back(e.makeCopy()); }

    template <class E> std::vector<const E*> of() const {
        std::vector<const E*> out;
        for (const auto& e : events)
            if (auto* typed = dynamic_cast<const E*>(e.get()))
                out.push_back(typed);
        return out;
    }
    template <class E> int count() const { return static_cast<int>(of<E>().size()); }
    void clear() { events.clear(); }

    std::vector<panekit::LinkEventPtr> events;
};

// The status line of the views' page.
class MemoryStatusLine final : public tracewin::StatusLine {
public:
    void setMessage(const QString& message) override {
        text = message;
        history.push_back(message);
    }
    QString getMessage() const override { return text; }
    QString text;
    std::vector<QString> history;
};

inline tracewin::Record fileRecord(const std::string& id, const std::string& jsp,
                                   std::optional<std::string> java = std::nullopt,
                                   bool compileErr = false) {
    return std::make_shared<const JspSourceInfo>(id, jsp, java, compileErr);
}
inline tracewin::Record lineRecord(const std::string& id, int javaLine, int startLine, int startPos,
                                   int endLine, int endPos) {
    return std::make_shared<const JspSourceInfo>(id, javaLine, startLine, startPos, endLine,
                                                 endPos);
}
inline tracewin::Record htmlRecord(const std::string& id, const std::string& html) {
    return std::make_shared<const JspSourceInfo>(id, html, JspSourceInfo::HTML_INFO);
}

// Views driven through their events: a driver tool fires at them, a probe records what
// they fire, a memory status line stands for the page's status line.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override { status = std::make_shared<MemoryStatusLine>(); }

    template <class V> void attach(V& view) {
        view.setSynchronousDispatch(true);
        view.addLinkListener(QString::fromLatin1(panekit::LinkEvent::linkEventClassName), &probe);
        view.setStatusLine(status);
        view.getView()->resize(640, 400);
        view.getView()->show();
    }
    template <class E>
    void deliver(panekit::Tool& view, std::any item = {}, const QString& name = QString()) {
        view.linkChanged(std::make_shared<E>(&driver, name, std::move(item)));
    }

    // Settings files in a folder of their own.
    tracewin::MonitorSettings settings(bool skipAnimation, bool runPause = false) {
        std::filesystem::create_directories(dir.path() / "com/zet/kwo/jsp/ui");
        tracewin::MonitorSettings s(dir.str(), dir.str(), [](std::string_view) { return "#"; });
        EXPECT_TRUE(s.saveIsSkipRunAnimation(skipAnimation));
        EXPECT_TRUE(s.saveIsRunPause(runPause));
        return s;
    }

    testsupport::TempDir dir;
    Probe driver, probe;
    std::shared_ptr<MemoryStatusLine> status;
};

} // namespace viewtest
