#include "panekit/browserframemanager.h"
#include "panekit/linkdeliverybatch.h"
#include "panekit/linkeventmulticaster.h"
#include "panekit/managedworkbook.h"
#include "panekit/pagewidget.h"
#include "panekit/paneframe.h"
#include "panekit/panemanager.h"
#include "panekit/toolpane.h"
#include "panekit/workbookframe.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace panekit;

namespace {

PANEKIT_LINK_EVENT(AlphaEvent, "test.events.AlphaEvent");
PANEKIT_LINK_EVENT(BetaEvent, "test.events.BetaEvent");

// A small hierarchy of kinds: a handler for the parent kind must not see child events.
class ParentEvent : public LinkEventKind<ParentEvent> {
public:
    using LinkEventKind::LinkEventKind;
    static QString kindKey() { return QStringLiteral("test.events.ParentEvent"); }
};
class ChildEvent final : public LinkEventKind<ChildEvent, ParentEvent> {
public:
    using LinkEventKind::LinkEventKind;
    static QString kindKey() { return QStringLiteral("test.events.ChildEvent"); }
};

// A kind with a constructor of its own, as LINKEVENTS.md shows it.
class CodeEvent final : public LinkEventKind<CodeEvent> {
public:
    using LinkEventKind::LinkEventKind;
    CodeEvent(const Tool* tool, int code) : LinkEventKind(tool, QString(), code) {}
    static QString kindKey() { return QStringLiteral("test.events.CodeEvent"); }
};

// An event that can be made stale.
class StaleableEvent final : public LinkEventKind<StaleableEvent> {
public:
    using LinkEventKind::LinkEventKind;
    static QString kindKey() { return QStringLiteral("test.events.StaleableEvent"); }
    bool isValid() const override { return !stale; }
    bool stale = false;
};

struct Delivery {
    std::string pane;
    std::string handler;
    int item;
    QString name;
    bool settingsBefore; // whether an earlier receiver had marked this very event object
};

std::vector<Delivery>& journal() {
    static std::vector<Delivery> j;
    return j;
}

std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const Delivery& d : journal())
        out.push_back(d.pane + ":" + d.handler + ":" + std::to_string(d.item));
    return out;
}

int itemOf(const LinkEvent& e) {
    const int* v = e.itemAs<int>();
    return v ? *v : -1;
}

// Fires every test kind; takes Alpha, Parent and everything else through its catch-all.
// With the parameter relay = yes, its Alpha handler fires a Beta with the same item.
class NodeTool : public Tool {
public:
    NodeTool() {
        onLinkEvent<AlphaEvent>(&NodeTool::handleAlpha);
        onLinkEvent<ParentEvent>(&NodeTool::handleParent);
        onLinkEvent<LinkEvent>(&NodeTool::handleAny);
        onLinkEvent<StaleableEvent>(std::function<void(const StaleableEvent&)>(
            [this](const StaleableEvent& e) { note("staleable", e); }));
    }
    QStringList getLinkEventNames() const override {
        return {AlphaEvent::kindKey(), BetaEvent::kindKey(), ParentEvent::kindKey(),
                ChildEvent::kindKey(), StaleableEvent::kindKey()};
    }
    void fire(int item) { fireLinkEvent(AlphaEvent(this, QString(), item)); }

protected:
    void note(const char* handler, const LinkEvent& e) {
        journal().push_back({getViewName().toStdString(), handler, itemOf(e), e.getName(),
                             e.getSavedSettings().has_value()});
    }

private:
    // Takes the event as modifiable: it marks the object it was given.
    void handleAlpha(AlphaEvent& e) {
        note("alpha", e);
        e.setSavedSettings(std::any(getViewName()));
        if (getParameter(QStringLiteral("relay")).toString() == "yes") {
            fireLinkEvent(BetaEvent(this, QString(), itemOf(e)));
            note("alpha-done", e);
        }
        if (getParameter(QStringLiteral("fail")).toString() == "yes")
            throw std::runtime_error("handler refused");
    }
    void handleParent(const ParentEvent& e) { note("parent", e); }
    void handleAny(const LinkEvent& e) { note("any", e); }
};

// Only exact handlers, no catch-all.
class NarrowTool : public NodeTool {};
class ExactOnlyTool : public Tool {
public:
    ExactOnlyTool() { onLinkEvent<ParentEvent>(&ExactOnlyTool::handleParent); }

private:
    void handleParent(const ParentEvent& e) {
        journal().push_back({getViewName().toStdString(), "parent", itemOf(e), e.getName(), false});
    }
};

// Takes events but fires none.
class SilentTool : public NodeTool {
public:
    QStringList getLinkEventNames() const override { return {}; }
};

// Counts the Alpha events of the stress test per firing thread.
class CountingTool : public Tool {
public:
    CountingTool() { onLinkEvent<AlphaEvent>(&CountingTool::handleAlpha); }
    std::vector<std::vector<int>> seen{2};
    bool offThread = false;

private:
    void handleAlpha(const AlphaEvent& e) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offThread = true;
        const auto* tag = e.itemAs<std::pair<int, int>>();
        seen[tag->first].push_back(tag->second);
    }
};

// Answers every Alpha with another, one higher, for as long as it may.
class PingTool : public Tool {
public:
    PingTool() {
        onLinkEvent<AlphaEvent>(std::function<void(const AlphaEvent&)>([this](const AlphaEvent& e) {
            ++heard;
            if (!stop)
                fireLinkEvent(AlphaEvent(this, QString(), itemOf(e) + 1));
            if (whileHandling)
                whileHandling(*this);
        }));
    }
    QStringList getLinkEventNames() const override { return {AlphaEvent::kindKey()}; }
    void serve(int item) { fireLinkEvent(AlphaEvent(this, QString(), item)); }
    static inline bool stop = false;
    // What a test has a handler do after it fired.
    static inline std::function<void(PingTool&)> whileHandling;
    int heard = 0;
};

const QByteArray configuration = R"(
tools { node : test.Node; narrow : test.Exact; silent : test.Silent; count : test.Count;
        ping : test.Ping;
        pagectl : test.Node; outerctl : test.Node; }
page Links {
    hsplit 1000 {
        pane src 200 link null view node;
        pane one 200 link src view node;
        pane two 200 link src one view node;
        pane self 200 link self src view node;
        pane exact 100 link src view narrow;
        pane mute 100 link null view silent;
    }
}
page Quiet {
    hsplit 1000 { pane mute 500 link null view silent; pane ear 500 link mute view node; }
}
page Relay {
    hsplit 1000 {
        pane src 300 link null view node;
        pane relay 300 link src view node param relay = yes;
        pane down 400 link relay view node;
    }
}
page Rally { hsplit 1000 { pane a 500 link b view ping; pane b 500 link a view ping; } }
page Failing {
    hsplit 1000 {
        pane src 300 link null view node;
        pane bad 300 link src view node param fail = yes;
        pane good 400 link src view node;
    }
}
page Stress { hsplit 1000 { pane src 500 link null view node; pane sink 500 link src view count; } }
page Focus {
    hsplit 1000 {
        pane a 300 link null view node;
        pane b 300 link null view node;
        pane follower 400 link focus view node;
    }
}
page Input { hsplit 1000 { pane plain 500 link null view node; input pane in 500 link null view node; } }
page P1 { controller c1 link v1 : pagectl; pane v1 1000 link c1 view node; }
page P2 { controller c2 link v2 : pagectl; pane v2 1000 link c2 view node; }
workbook Outer { controller top : outerctl; page P1; page P2; }
)";

class LinkEventTest : public testing::Test {
protected:
    static void SetUpTestSuite() { paneltest::ensureQtApplication(); }

    void SetUp() override {
        journal().clear();
        PartsFactory& f = app.app->getPartsFactory();
        f.registerTool<NodeTool>(QStringLiteral("test.Node"));
        f.registerTool<ExactOnlyTool>(QStringLiteral("test.Exact"));
        f.registerTool<SilentTool>(QStringLiteral("test.Silent"));
        f.registerTool<CountingTool>(QStringLiteral("test.Count"));
        f.registerTool<PingTool>(QStringLiteral("test.Ping"));
        ASSERT_TRUE(app.useConfiguration(configuration));
    }

    void TearDown() override {
        Tool::setGlobalSynchronousDispatch(false);
        for (const QPointer<BrowserFrame>& frame : made)
            delete frame.data();
        settle();
    }

    // Runs queued jobs, and the jobs those post, until none are left.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (int round = 0; round < 8; ++round)
            QCoreApplication::processEvents();
    }

    PaneFrame* page(const QString& name) {
        auto* frame = new PaneFrame(name, name);
        frame->setApplicationKey(app.app->getKey());
        made.push_back(frame);
        frame->buildPanesForPage(name);
        return frame;
    }

    static NodeTool* node(PaneFrame* frame, const QString& pane) {
        ToolPane* p = frame->getPaneManager()->findPane(pane);
        return p ? dynamic_cast<NodeTool*>(p->getTool()) : nullptr;
    }

    paneltest::TestApplication app;
    std::vector<QPointer<BrowserFrame>> made;
};

TEST(LinkEventMulticasterTest, DeliversInRegistrationOrderAndRemovesOne) {
    struct Recorder : LinkListener {
        Recorder(std::vector<std::string>& o, std::string n) : out(o), name(std::move(n)) {}
        void linkChanged(const LinkEventPtr&) override { out.push_back(name); }
        void linkChangedGeneric(const LinkEventPtr&) override { out.push_back(name + "*"); }
        std::vector<std::string>& out;
        std::string name;
    };
    std::vector<std::string> out;
    auto a = std::make_shared<Recorder>(out, "a");
    auto b = std::make_shared<Recorder>(out, "b");
    auto c = std::make_shared<Recorder>(out, "c");
    std::shared_ptr<LinkListener> chain;
    EXPECT_EQ(LinkEventMulticaster::add(chain, a), a); // a lone listener needs no pair
    for (const auto& l : {a, b, c})
        chain = LinkEventMulticaster::add(chain, l);
    const auto event = std::make_shared<LinkEvent>(static_cast<const Tool*>(nullptr));
    chain->linkChanged(event);
    chain->linkChangedGeneric(event);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "b", "c", "a*", "b*", "c*"}));

    out.clear();
    const auto before = chain;
    chain = LinkEventMulticaster::remove(chain, b.get());
    chain->linkChanged(event);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(LinkEventMulticaster::count(before), 3); // the old chain is untouched
    EXPECT_EQ(LinkEventMulticaster::remove(LinkEventMulticaster::remove(chain, a.get()), c.get()),
              nullptr);
}

TEST(LinkEventObjectTest, KindsKeysCopiesAndConstructors) {
    const AlphaEvent alpha(nullptr, QStringLiteral("n"), std::any(7));
    EXPECT_EQ(alpha.getKindKey(), "test.events.AlphaEvent");
    EXPECT_EQ(LinkEvent::kindKey(), "com.zet.rul.panekitlib.LinkEvent");
    EXPECT_EQ(alpha.getEventType(), 0);
    EXPECT_EQ(alpha.getName(), "n");
    EXPECT_TRUE(alpha.isValid());

    // A copy is of the same kind and shares a shared payload.
    auto payload = std::make_shared<int>(42);
    const ChildEvent child(nullptr, 5, QString(), std::any(payload));
    const LinkEventPtr copy = child.makeCopy();
    ASSERT_NE(dynamic_cast<ChildEvent*>(copy.get()), nullptr);
    EXPECT_EQ(copy->getKindKey(), "test.events.ChildEvent");
    EXPECT_EQ(copy->getEventType(), 5);
    EXPECT_EQ(*copy->itemAs<std::shared_ptr<int>>(), payload);
    EXPECT_EQ(copy->itemAs<int>(), nullptr); // the wrong type gives null, never a throw

    const LinkEvent frameEvent(static_cast<const BrowserFrame*>(nullptr));
    EXPECT_EQ(frameEvent.getEventType(), LinkEvent::FRAME);
    EXPECT_EQ(LinkEvent::FRAME, 3);
    const LinkEvent dialogEvent(LinkEvent::DialogSource{&alpha}, LinkEvent::DIALOG_FINISH);
    EXPECT_EQ(dialogEvent.getSource(), &alpha);
    EXPECT_EQ(dialogEvent.getSourceTool(), nullptr);

    const CodeEvent code(nullptr, 8);
    EXPECT_EQ(*code.itemAs<int>(), 8);
    EXPECT_EQ(code.getEventType(), 0);
    EXPECT_EQ(code.getName(), QString());

    LinkEvent settings(static_cast<const Tool*>(nullptr));
    settings.setSavedSettings(std::any(QStringLiteral("kept")));
    EXPECT_EQ(std::any_cast<QString>(settings.getSavedSettings()), "kept");

    // A kind's number is its key's: the same for copies and for the key, distinct per kind.
    EXPECT_EQ(copy->getKindIndex(), child.getKindIndex());
    EXPECT_EQ(child.getKindIndex(),
              LinkEvent::kindIndexOf(QStringLiteral("test.events.ChildEvent")));
    EXPECT_NE(child.getKindIndex(), ParentEvent(static_cast<const Tool*>(nullptr)).getKindIndex());
    EXPECT_NE(alpha.getKindIndex(), code.getKindIndex());
    EXPECT_EQ(settings.getKindIndex(), LinkEvent::kindIndexOf(LinkEvent::kindKey()));
    EXPECT_EQ(LinkEvent::kindIndexOf(QStringLiteral("test.events.NeverFired")),
              LinkEvent::kindIndexOf(QString::fromLatin1("test.events.NeverFired")));
}

TEST_F(LinkEventTest, LinkedReceiversGetEachEventOnceByExactKindAndNeverTheirOwn) {
    PaneFrame* frame = page("Links");
    NodeTool* src = node(frame, "src");
    NodeTool* self = node(frame, "self");

    src->fireLinkEvent(AlphaEvent(src, QString(), 1));
    EXPECT_TRUE(journal().empty()); // queued for the user-interface thread
    settle();
    // Receivers in pane order, each running the Alpha handler once and the catch-all never;
    // "exact" has no Alpha handler and no catch-all.
    EXPECT_EQ(lines(), (std::vector<std::string>{"one:alpha:1", "two:alpha:1", "self:alpha:1"}));
    EXPECT_TRUE(journal()[1].settingsBefore); // one firing: every receiver sees the same object

    journal().clear();
    src->fireLinkEvent(BetaEvent(src, QString(), 2));
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"one:any:2", "two:any:2", "self:any:2"}));

    // A child kind reaches the catch-all, never the handler of its parent kind.
    journal().clear();
    src->fireLinkEvent(ChildEvent(src, QString(), 3));
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"one:any:3", "two:any:3", "self:any:3"}));
    journal().clear();
    src->fireLinkEvent(ParentEvent(src, QString(), 4));
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"one:parent:4", "two:parent:4", "self:parent:4",
                                                 "exact:parent:4"}));

    // A pane linked to itself (and generically) never gets its own events.
    journal().clear();
    self->fireLinkEvent(AlphaEvent(self, QString(), 5));
    self->fireLinkEvent(BetaEvent(self, QString(), 6));
    settle();
    EXPECT_TRUE(journal().empty());

    // "two" listens to "one" as well.
    node(frame, "one")->fire(7);
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"two:alpha:7"}));
}

TEST_F(LinkEventTest, ToolThatFiresNoKindsGetsNoReceivers) {
    PaneFrame* frame = page("Quiet");
    Tool* mute = frame->getPaneManager()->findPane("mute")->getTool();
    EXPECT_EQ(mute->getLinkListenerCount(AlphaEvent::kindKey()), 0);
    EXPECT_EQ(mute->getLinkListenerCount(LinkEvent::kindKey()), 0);
    mute->fireLinkEvent(AlphaEvent(mute, QString(), 1));
    settle();
    EXPECT_TRUE(journal().empty());
}

TEST_F(LinkEventTest, LinksAreMadeOnceAndRebuiltFromTheDescription) {
    PaneFrame* frame = page("Links");
    NodeTool* src = node(frame, "src");
    EXPECT_EQ(src->getLinkListenerCount(AlphaEvent::kindKey()), 3);
    EXPECT_EQ(src->getLinkListenerCount(ParentEvent::kindKey()), 4);
    EXPECT_EQ(src->getLinkListenerCount(LinkEvent::kindKey()), 3);
    // Each firing goes to the receivers linked at that moment.
    auto fireAndList = [&](int item) {
        journal().clear();
        src->fire(item);
        settle();
        return lines();
    };
    EXPECT_EQ(fireAndList(1),
              (std::vector<std::string>{"one:alpha:1", "two:alpha:1", "self:alpha:1"}));
    src->removeLinkListener(AlphaEvent::kindKey(), node(frame, "one"));
    EXPECT_EQ(src->getLinkListenerCount(AlphaEvent::kindKey()), 2);
    EXPECT_EQ(fireAndList(2), (std::vector<std::string>{"two:alpha:2", "self:alpha:2"}));
    src->addLinkListener(AlphaEvent::kindKey(), node(frame, "two")); // already there
    EXPECT_EQ(src->getLinkListenerCount(AlphaEvent::kindKey()), 2);
    src->addLinkListener(AlphaEvent::kindKey(), node(frame, "one"));
    EXPECT_EQ(fireAndList(3),
              (std::vector<std::string>{"two:alpha:3", "self:alpha:3", "one:alpha:3"}));
    src->rebuildLinks();
    EXPECT_EQ(src->getLinkListenerCount(AlphaEvent::kindKey()), 3);
    EXPECT_EQ(src->getLinkListenerCount(LinkEvent::kindKey()), 3);
    EXPECT_EQ(fireAndList(4),
              (std::vector<std::string>{"one:alpha:4", "two:alpha:4", "self:alpha:4"}));
}

TEST_F(LinkEventTest, UnlinkedOrMinimisedPaneGetsOnlyTheLastEventWhenItComesBack) {
    PaneFrame* frame = page("Links");
    NodeTool* src = node(frame, "src");
    ToolPane* one = frame->getPaneManager()->findPane("one");
    one->setLinked(false);
    src->fire(1);
    src->fire(2);
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"two:alpha:1", "self:alpha:1", "two:alpha:2",
                                                 "self:alpha:2"}));
    journal().clear();
    one->setLinked(true);
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"one:alpha:2"}));
    journal().clear();
    one->setLinked(false);
    one->setLinked(true); // nothing saved any more
    settle();
    EXPECT_TRUE(journal().empty());

    // Minimised: the same; and a saved event that went stale is dropped.
    one->setMinimized(true);
    auto stale = std::make_shared<StaleableEvent>(src, QString(), std::any(3));
    src->fireLinkEvent(stale);
    settle();
    journal().clear();
    stale->stale = true;
    one->setMinimized(false);
    settle();
    EXPECT_TRUE(journal().empty());
    EXPECT_EQ(node(frame, "one")->getSavedEvent(), nullptr);
}

TEST_F(LinkEventTest, SynchronousDispatchNestsAndQueuedDispatchOrders) {
    PaneFrame* frame = page("Relay");
    NodeTool* src = node(frame, "src");
    src->fire(1);
    src->fire(2);
    settle();
    // Queued: each relay's Beta waits behind what was posted before it.
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"relay:alpha:1", "relay:alpha-done:1", "relay:alpha:2",
                                        "relay:alpha-done:2", "down:any:1", "down:any:2"}));
    journal().clear();
    Tool::setGlobalSynchronousDispatch(true);
    src->fire(3);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"relay:alpha:3", "down:any:3", "relay:alpha-done:3"}));
    Tool::setGlobalSynchronousDispatch(false);

    // One synchronous tool: only its own deliveries run inline.
    journal().clear();
    node(frame, "relay")->setSynchronousDispatch(true);
    src->fire(4);
    EXPECT_EQ(lines(), (std::vector<std::string>{"relay:alpha:4", "relay:alpha-done:4"}));
    settle();
    EXPECT_EQ(lines().back(), "down:any:4");
}

// A handler's firing is a job queued behind the others, yet a chain of hops needs no
// turn of the event loop per hop: the relay's Beta reaches the next pane in the same
// round of posted jobs as the Alpha that caused it.
TEST_F(LinkEventTest, AChainOfHopsRunsInOneRoundOfPostedJobs) {
    PaneFrame* frame = page("Relay");
    node(frame, "src")->fire(7);
    EXPECT_TRUE(journal().empty()) << "nothing runs inside the firing call";
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"relay:alpha:7", "relay:alpha-done:7", "down:any:7"}));
}

// Deliveries queued while a batch lives wait for it, and run when the outermost batch
// ends, chain of hops included, with no turn of the event loop.
TEST_F(LinkEventTest, ABatchRunsItsDeliveriesWhenItEnds) {
    PaneFrame* frame = page("Relay");
    {
        LinkDeliveryBatch outer;
        {
            LinkDeliveryBatch inner;
            node(frame, "src")->fire(7);
        }
        EXPECT_TRUE(journal().empty()) << "held until the outermost batch ends";
    }
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"relay:alpha:7", "relay:alpha-done:7", "down:any:7"}));
}

// A handler that runs an event loop of its own (a modal dialog) sees the deliveries it set
// off run in that loop, not after it.
TEST_F(LinkEventTest, DeliveriesSetOffUnderANestedEventLoopRunInIt) {
    PaneFrame* frame = page("Rally");
    auto* a = dynamic_cast<PingTool*>(frame->getPaneManager()->findPane("a")->getTool());
    auto* b = dynamic_cast<PingTool*>(frame->getPaneManager()->findPane("b")->getTool());
    ASSERT_TRUE(a && b);
    QEventLoop loop;
    bool gaveUp = false;
    int heardByBInTheLoop = 0;
    PingTool::stop = false;
    PingTool::whileHandling = [&](PingTool& tool) {
        if (&tool == a && !loop.isRunning()) {
            PingTool::stop = true; // a has answered b; b answers no more
            QTimer::singleShot(10000, &loop, [&] {
                gaveUp = true;
                loop.quit();
            });
            loop.exec();
        } else if (&tool == b && loop.isRunning()) {
            heardByBInTheLoop = b->heard;
            loop.quit();
        }
    };
    b->serve(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->heard == 1 && !loop.isRunning(); }, 15000));
    PingTool::whileHandling = nullptr;
    EXPECT_FALSE(gaveUp) << "the answer waited for the loop to end";
    EXPECT_EQ(heardByBInTheLoop, 1);
}

// Two tools that answer each other forever still let the event loop do other work.
TEST_F(LinkEventTest, AChainThatNeverEndsDoesNotStarveTheEventLoop) {
    PaneFrame* frame = page("Rally");
    auto* a = dynamic_cast<PingTool*>(frame->getPaneManager()->findPane("a")->getTool());
    auto* b = dynamic_cast<PingTool*>(frame->getPaneManager()->findPane("b")->getTool());
    ASSERT_TRUE(a && b);
    PingTool::stop = false;
    a->serve(0);
    bool otherWorkRan = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { otherWorkRan = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(QTest::qWaitFor([&] { return otherWorkRan; }, 10000));
    EXPECT_GT(b->heard, 0);
    PingTool::stop = true;
    settle();
    const int heard = a->heard + b->heard;
    settle();
    EXPECT_EQ(a->heard + b->heard, heard) << "the rally ended";
}

// A tool destroyed with deliveries still queued for it never runs them.
TEST_F(LinkEventTest, DeliveriesToADestroyedToolAreDropped) {
    PaneFrame* frame = page("Relay");
    node(frame, "src")->fire(1);
    delete frame;
    settle();
    EXPECT_TRUE(journal().empty());
}

TEST_F(LinkEventTest, FailingHandlerIsReportedAndOthersStillReceive) {
    PaneFrame* frame = page("Failing");
    NodeTool* src = node(frame, "src");
    testing::internal::CaptureStderr();
    src->fire(1);
    src->fire(2);
    settle();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("handler refused"), std::string::npos) << err;
    EXPECT_EQ(lines(), (std::vector<std::string>{"bad:alpha:1", "good:alpha:1", "bad:alpha:2",
                                                 "good:alpha:2"}));
}

TEST_F(LinkEventTest, EventsFromWorkerThreadsArriveOnTheGuiThreadInEachThreadsOrder) {
    PaneFrame* frame = page("Stress");
    NodeTool* src = node(frame, "src");
    auto* sink = dynamic_cast<CountingTool*>(frame->getPaneManager()->findPane("sink")->getTool());
    ASSERT_NE(sink, nullptr);
    constexpr int perThread = 50000;
    std::vector<std::thread> workers;
    for (int t = 0; t < 2; ++t) {
        workers.emplace_back([src, t] {
            for (int i = 0; i < perThread; ++i)
                src->fireLinkEvent(std::make_shared<AlphaEvent>(
                    src, 0, QString(), std::any(std::pair<int, int>(t, i))));
        });
    }
    QElapsedTimer timer;
    timer.start();
    auto received = [sink] {
        return sink->seen[0].size() + sink->seen[1].size();
    };
    while (received() < 2u * perThread && timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (std::thread& w : workers)
        w.join();
    settle();
    ASSERT_EQ(received(), 2u * perThread);
    EXPECT_FALSE(sink->offThread);
    for (int t = 0; t < 2; ++t) {
        ASSERT_EQ(sink->seen[t].size(), size_t(perThread));
        for (int i = 0; i < perThread; ++i)
            ASSERT_EQ(sink->seen[t][i], i) << "thread " << t;
    }
}

TEST_F(LinkEventTest, FocusFollowerHearsThePaneInFocus) {
    PaneFrame* frame = page("Focus");
    frame->show();
    QApplication::setActiveWindow(frame);
    settle();
    NodeTool* a = node(frame, "a");
    NodeTool* b = node(frame, "b");
    frame->getPaneManager()->findPane("a")->setFocus();
    settle();
    ASSERT_EQ(Tool::getToolInFocus(), a);
    a->fire(1);
    b->fire(2); // not in focus: the follower does not hear it
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"follower:alpha:1"}));
}

TEST_F(LinkEventTest, ContextDeliversToControllerOrInputPaneAndModelEventsReachEveryTool) {
    PaneFrame* input = page("Input");
    input->fireLinkEvent(AlphaEvent(nullptr, QString(), 1).makeCopy());
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"in:alpha:1"}));

    journal().clear();
    PaneFrame* withController = page("P1");
    withController->fireLinkEvent(AlphaEvent(nullptr, QString(), 2).makeCopy());
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"c1:alpha:2"}));

    // Model events go through every shown frame of the application, controller first.
    journal().clear();
    input->show();
    withController->show();
    settle();
    paneltest::CountingModel model;
    model.setModelSupport(std::make_unique<ModelSupport>("m", false, app.app->getKey()));
    model.fireLinkEvent(LinkEvent(&model, LinkEvent::MODEL, std::any(3)));
    settle();
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"plain:any:3", "in:any:3", "c1:any:3", "v1:any:3"}));
    ASSERT_FALSE(journal().empty());
    EXPECT_EQ(journal().front().name, "m");
}

TEST_F(LinkEventTest, WorkbookControllerIsParentOfPageControllersWhoseChildrenArePanes) {
    auto* frame = new WorkbookFrame(QStringLiteral("Outer"), QStringLiteral("outer"));
    frame->setApplicationKey(app.app->getKey());
    made.push_back(frame);
    ManagedWorkbook* book = frame->buildWorkbook();
    ASSERT_NE(book, nullptr);
    auto* top = dynamic_cast<NodeTool*>(book->getController());
    auto* c1 = dynamic_cast<NodeTool*>(book->getPage(0)->getController());
    auto* c2 = dynamic_cast<NodeTool*>(book->getPage(1)->getController());
    ASSERT_TRUE(top && c1 && c2);
    EXPECT_EQ(c1->getParentTool(), top);
    EXPECT_EQ(top->getParentTool(), nullptr);
    EXPECT_EQ(top->findChildPage(QString(), "P2"), book->getPage(1));

    // Down: every page controller gets its own copy.
    const auto original = std::make_shared<AlphaEvent>(top, QString(), std::any(1));
    top->fireChildrenLinkEvent(original);
    settle();
    ASSERT_EQ(lines(), (std::vector<std::string>{"c1:alpha:1", "c2:alpha:1"}));
    EXPECT_FALSE(journal()[1].settingsBefore); // c1 marked its own copy only
    EXPECT_FALSE(original->getSavedSettings().has_value());

    // A page controller passes to its panes, a pane to its controller, a controller up.
    journal().clear();
    c1->fire(2);
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"v1:alpha:2"}));
    journal().clear();
    Tool* v1 = book->getPage(0)->getPaneManager()->getPanes()[0]->getTool();
    v1->fireLinkEvent(BetaEvent(v1, QString(), 3));
    c1->fireParentLinkEvent(BetaEvent(c1, QString(), 4));
    c1->fireLinkEvent(std::make_shared<AlphaEvent>(c1, QString(), std::any(5)), QString(), "P2");
    settle();
    EXPECT_EQ(lines(), (std::vector<std::string>{"c1:any:3", "top:any:4", "c2:alpha:5"}));
}

} // namespace
