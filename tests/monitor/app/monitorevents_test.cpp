#include "app/jspbreakmonitorcontroller.h"
#include "views/monitorevents.h"

#include <gtest/gtest.h>

using namespace tracewin;

namespace {

template <class E> void expectKind(const char* name) {
    E event(nullptr, QString(), std::any(7));
    EXPECT_EQ(event.getKindKey().toStdString(), std::string("com.zet.kwo.jsp.ui.") + name);
    EXPECT_EQ(E::kindKey(), event.getKindKey());
    EXPECT_EQ(event.getEventType(), 0);
    panekit::LinkEventPtr copy = event.makeCopy();
    EXPECT_EQ(copy->getKindKey(), event.getKindKey()) << "a copy keeps its kind";
    ASSERT_TRUE(copy->itemAs<int>());
    EXPECT_EQ(*copy->itemAs<int>(), 7);
}

TEST(MonitorEvents, EveryKindIsRoutedByItsFullName) {
    expectKind<StartupEvent>("StartupEvent");
    expectKind<HighlightEvent>("HighlightEvent");
    expectKind<HtmlEvent>("HtmlEvent");
    expectKind<SwitchJspFileFromServletEvent>("SwitchJspFileFromServletEvent");
    expectKind<HighlightTagEvent>("HighlightTagEvent");
    expectKind<ChangeCurrentStateEvent>("ChangeCurrentStateEvent");
    expectKind<ResumeEvent>("ResumeEvent");
    expectKind<SetBreakpointEvent>("SetBreakpointEvent");
    expectKind<SwitchJspFileEvent>("SwitchJspFileEvent");
    expectKind<PrevErrEvent>("PrevErrEvent");
    expectKind<NextErrEvent>("NextErrEvent");
    expectKind<ExitEvent>("ExitEvent");
    expectKind<RestartConnectionEvent>("RestartConnectionEvent");
    expectKind<ChangeButtonStateEvent>("ChangeButtonStateEvent");
    expectKind<SendStateEvent>("SendStateEvent");
    expectKind<StepEvent>("StepEvent");
    expectKind<LoadFileEvent>("LoadFileEvent");
    expectKind<UpdateModelStateEvent>("UpdateModelStateEvent");
    expectKind<ReturnJspFocusEvent>("ReturnJspFocusEvent");
    expectKind<HtmlTagEvent>("HtmlTagEvent");
    expectKind<DummyEvent>("DummyEvent");
    expectKind<EndProcessEvent>("EndProcessEvent");
    expectKind<PrimeModelEvent>("PrimeModelEvent");
    expectKind<ClientExitEvent>("ClientExitEvent");
}

TEST(MonitorEvents, ClientExitCarriesACodeOrARecordAndHighlightMayBeEmpty) {
    ClientExitEvent ended(nullptr, 8);
    ASSERT_TRUE(ended.itemAs<int>());
    EXPECT_EQ(*ended.itemAs<int>(), 8);
    EXPECT_TRUE(ended.getName().isEmpty());
    const Record record = JspBreakMonitorController::fixedFileInfo();
    ClientExitEvent abnormal(nullptr, QString(), std::any(record));
    EXPECT_FALSE(abnormal.itemAs<int>());
    ASSERT_TRUE(abnormal.itemAs<Record>());
    EXPECT_EQ(abnormal.itemAs<Record>()->get(), record.get()) << "copies share the record";
    HighlightEvent clear(static_cast<const panekit::Tool*>(nullptr));
    EXPECT_FALSE(clear.hasItem());
    ResumeEvent plain(static_cast<const panekit::Tool*>(nullptr));
    EXPECT_FALSE(plain.itemAs<int>());
}

TEST(JspBreakMonitorController, StartsItsFixedPageWithoutASocket) {
    const Record record = JspBreakMonitorController::fixedFileInfo();
    EXPECT_EQ(record->getFileIdStr(), std::optional<std::string>("1"));
    EXPECT_EQ(record->getJspSourceFilename(), std::optional<std::string>("c:/www/html/simple.jsp"));
    EXPECT_EQ(record->getInfoType(), tracehook::JspSourceInfo::FILE_INFO);
    JspBreakMonitorController controller;
    testing::internal::CaptureStdout();
    controller.toolActive();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MonitorController::toolActive()\n");
}

} // namespace
