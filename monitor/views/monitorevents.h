#pragma once

#include "core/record.h"
#include "panekit/linkevent.h"

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The monitor's vocabulary of link events. Every kind is a LinkEvent without fields of
// its own, routed by "com.zet.kwo.jsp.ui." and its class name; the item carries the
// payload (a shared JspSourceInfo record, an integer, a BreakpointInfo, ButtonStates, the
// shared States or an HtmlTagPosition). The monitor fires them all with no name and type 0,
// but for positions and output the connection answered already (kAnsweredAhead, below) and
// for a position shown again where a page waits (kShownAgain).
namespace tracewin {

#define TRACEWIN_EVENT(Name) PANEKIT_LINK_EVENT(Name, "com.zet.kwo.jsp.ui." #Name)

// Traffic: down from the connection controller and the page controllers to the views.
TRACEWIN_EVENT(StartupEvent);
TRACEWIN_EVENT(HighlightEvent);
TRACEWIN_EVENT(HtmlEvent);
TRACEWIN_EVENT(SwitchJspFileFromServletEvent);
// The variables of the stop about to be highlighted (a Variables item, null when the
// runtime sent none for it).
TRACEWIN_EVENT(VariablesEvent);
// Positions and output that a run going on by itself passed, taken together, each
// answered by the connection as it arrived, in the order they came (a PassedRecords): a
// receiver is left as the HighlightEvents and HtmlEvents of type kAnsweredAhead, one per
// record, would leave it. Only the state they leave shows, so each does its work once.
TRACEWIN_EVENT(PassedEvent);
TRACEWIN_EVENT(HighlightTagEvent);
TRACEWIN_EVENT(ChangeCurrentStateEvent);
// From the HTML view to the tag stack: the tags one piece of output completed, in order
// (a shared HtmlTags), so that the stack reports once per piece rather than per tag.
TRACEWIN_EVENT(HtmlTagsEvent);
// From the HTML view to the JSP and Java views: the origin (an OutputOrigin) of output the
// user clicked, to be selected and shown.
TRACEWIN_EVENT(ShowOutputOriginEvent);
// Up from the actions and views to the connection controller.
TRACEWIN_EVENT(ResumeEvent);
TRACEWIN_EVENT(SetBreakpointEvent);
TRACEWIN_EVENT(SwitchJspFileEvent);
TRACEWIN_EVENT(PrevErrEvent);
TRACEWIN_EVENT(NextErrEvent);
TRACEWIN_EVENT(ExitEvent);
TRACEWIN_EVENT(RestartConnectionEvent);
TRACEWIN_EVENT(ChangeButtonStateEvent);
TRACEWIN_EVENT(SendStateEvent);
// Declared, with receivers, but fired by no tool of the monitor.
TRACEWIN_EVENT(StepEvent);
TRACEWIN_EVENT(LoadFileEvent);
TRACEWIN_EVENT(UpdateModelStateEvent);
TRACEWIN_EVENT(ReturnJspFocusEvent);
TRACEWIN_EVENT(HtmlTagEvent);
TRACEWIN_EVENT(DummyEvent);
TRACEWIN_EVENT(EndProcessEvent);
TRACEWIN_EVENT(PrimeModelEvent);

#undef TRACEWIN_EVENT

// The type of a HighlightEvent or HtmlEvent whose record the page runtime's connection
// answered as it arrived, in a run that goes on by itself: receivers show it and never
// resume the page for it (every other event of the monitor has type 0).
constexpr std::int32_t kAnsweredAhead = panekit::LinkEvent::CUSTOM_OFFSET;
// The type of a SwitchJspFileFromServletEvent that answers the user's switch to another
// page of the request, and of the HighlightEvent that shows where that page waits: nothing
// ran, so it is no new stop.
constexpr std::int32_t kShownAgain = panekit::LinkEvent::CUSTOM_OFFSET + 1;
// The type of an HtmlTagsEvent whose output more output followed before the HTML view showed
// either, and of the HighlightTagEvent it leads to: the view keeps the later output in view,
// so that highlight is set where it is and not brought into view.
constexpr std::int32_t kOutputFollowed = panekit::LinkEvent::CUSTOM_OFFSET + 2;

// The item of a PassedEvent.
using PassedRecords = std::shared_ptr<const std::vector<Record>>;

// The last position among records passed together, if any.
inline const Record* lastPositionOf(const std::vector<Record>& records) {
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if ((*it)->getInfoType() != tracehook::JspSourceInfo::HTML_INFO)
            return &*it;
    }
    return nullptr;
}
inline const Record* lastPositionOf(const PassedEvent& e) {
    const PassedRecords* records = e.itemAs<PassedRecords>();
    return records && *records ? lastPositionOf(**records) : nullptr;
}
// The PassedEvent handler of a receiver that shows only where the run is: its HighlightEvent
// handler, given the last position as that position would have come alone.
template <class T>
std::function<void(const PassedEvent&)>
lastPositionTo(T* receiver, void (T::*highlight)(const HighlightEvent&)) {
    return [receiver, highlight](const PassedEvent& e) {
        if (const Record* last = lastPositionOf(e))
            (receiver->*highlight)(
                HighlightEvent(e.getSourceTool(), kAnsweredAhead, QString(), std::any(*last)));
    };
}

// An event of kind E from `source`, as the monitor fires them: no name, the item given.
template <class E>
panekit::LinkEventPtr makeEvent(const panekit::Tool* source, std::any item = {}) {
    return std::make_shared<E>(source, QString(), std::move(item));
}

// The end of a page, both ways: an integer (8 ended or terminated, 9 abnormal end
// without a file) or the abnormal-end record that names its file.
class ClientExitEvent final : public panekit::LinkEventKind<ClientExitEvent> {
public:
    using panekit::LinkEventKind<ClientExitEvent>::LinkEventKind;
    ClientExitEvent(const panekit::Tool* source, int code)
        : panekit::LinkEventKind<ClientExitEvent>(source, QString(), std::any(code)) {}
    static QString kindKey() { return QStringLiteral("com.zet.kwo.jsp.ui.ClientExitEvent"); }
};

// A model's event: type MODEL, the model as its source.
class ModelEvent final : public panekit::LinkEventKind<ModelEvent> {
public:
    ModelEvent(const panekit::AbstractModel* model, std::any item)
        : panekit::LinkEventKind<ModelEvent>(model, panekit::LinkEvent::MODEL, std::move(item)) {}
    static QString kindKey() { return QStringLiteral("com.zet.kwo.jsp.ui.ModelEvent"); }
    const panekit::AbstractModel* getModel() const { return getSourceModel(); }
};

// What a receiver of model events offers.
class ModelEventListener {
public:
    virtual ~ModelEventListener() = default;
    virtual void handleModelEvent(const ModelEvent& event) = 0;
};

} // namespace tracewin
