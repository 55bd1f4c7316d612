#pragma once

#include "panekit/application.h"
#include "panekit/model.h"
#include "panekit/tool.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace paneltest {

// The test program's QApplication comes from testmain.cpp.
inline void ensureQtApplication() {
    Q_ASSERT(QApplication::instance());
}

// What the tools were asked, in order, as "name:call"; and which tools say no.
struct Journal {
    std::vector<std::string> calls;
    std::set<std::string> vetoClosing;
    std::set<std::string> vetoExiting;
    std::function<void()> duringClosing; // run inside a tool's windowClosing

    static Journal& get() {
        static Journal j;
        return j;
    }
    void reset() { *this = Journal(); }
    std::vector<std::string> only(const std::string& call) const {
        std::vector<std::string> names;
        for (const auto& c : calls)
            if (c.size() > call.size() && c.compare(c.size() - call.size(), call.size(), call) == 0)
                names.push_back(c.substr(0, c.size() - call.size() - 1));
        return names;
    }
};

// A tool that shows a label and writes every lifecycle call into the journal.
class RecordingTool : public panekit::Tool {

public:
    QWidget* getView() override {
        if (!view_)
            view_ = new QLabel(getName());
        return view_;
    }
    void toolInstalled() override { note("toolInstalled"); }
    void toolActive() override { note("toolActive"); }
    void toolUninstalled() override { note("toolUninstalled"); }
    bool windowClosing() override {
        note("windowClosing");
        if (auto hook = Journal::get().duringClosing)
            hook();
        return Journal::get().vetoClosing.count(getName().toStdString()) == 0;
    }
    bool applicationExiting() override {
        note("applicationExiting");
        return Journal::get().vetoExiting.count(getName().toStdString()) == 0;
    }

private:
    void note(const char* call) {
        Journal::get().calls.push_back(getName().toStdString() + ":" + call);
    }
    QPointer<QLabel> view_;
};

// A tool without any buttons in its title bar.
class BareTool : public RecordingTool {

public:
    BareTool() {
        setLinkButtonVisible(false);
        setMinimizeButtonVisible(false);
        setViewButtonVisible(false);
    }
};

class NoTitleTool : public RecordingTool {

public:
    NoTitleTool() { setTitleBarVisible(false); }
};

class CountingModel : public panekit::Model {
public:
    void install() override {
        Journal::get().calls.push_back(getName().toStdString() + ":install");
    }
    void uninstall() override {
        Journal::get().calls.push_back(getName().toStdString() + ":uninstall");
    }
    void applicationExiting() override {
        Journal::get().calls.push_back(getName().toStdString() + ":applicationExiting");
    }
};

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A fresh application with its own home directory and the test classes registered.
struct TestApplication {
    QTemporaryDir home;
    panekit::Application* app;
    std::vector<int> exits;

    TestApplication()
        : app(panekit::Application::getApplication(panekit::Application::getUniqueKey())) {
        app->setHome(home.path());
        app->setExitHandler([this](int code) { exits.push_back(code); });
        panekit::PartsFactory& f = app->getPartsFactory();
        f.registerTool<RecordingTool>(QStringLiteral("test.Recording"));
        f.registerTool<BareTool>(QStringLiteral("test.Bare"));
        f.registerTool<NoTitleTool>(QStringLiteral("test.NoTitle"));
        f.registerModel<CountingModel>(QStringLiteral("test.Model"));
    }
    QString path(const QString& name) const { return home.filePath(name); }
    bool useConfiguration(const QByteArray& text, const QString& name = QStringLiteral("test")) {
        return writeFile(path(name + QStringLiteral(".cfg")), text) &&
               app->setCurrentConfiguration(name);
    }
};

} // namespace paneltest
