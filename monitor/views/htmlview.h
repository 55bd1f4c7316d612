#pragma once

#include "views/commonview.h"
#include "views/commonviewcomponent.h"
#include "views/htmlmodel.h"
#include "views/monitorevents.h"

#include <QPointer>

namespace tracewin {

// The HTML that the page has produced so far, newest output kept in view. Each piece of
// output lets the page go on at once, and every complete tag written is announced (name:
// the tag text, item: its position) for the tag stack beside it. Every piece remembers the
// JSP span and Java line that wrote it: a click on output announces them
// (ShowOutputOriginEvent), and the output of the span about to run is marked.
class HtmlView final : public CommonView {
    Q_OBJECT

public:
    HtmlView();
    ~HtmlView() override;

    QStringList getLinkEventNames() const override;
    void toolInstalled() override;
    QString getHelpId() const override { return QStringLiteral("h_HtmlView"); }

    CommonViewComponent* createCanvas();
    void showSource();
    // Lays the text out again and scrolls so that `line` is in view at the bottom.
    void showSource(int line);

    HtmlModel& model() const;

    // The origin of the output at a position of the text on show, if any wrote it.
    const OutputOrigin* originAt(const FilePosition& position) const;
    // Announces the origin of the output at the position; false when none wrote it.
    bool showOriginAt(const FilePosition& position);
    // The stretches of output marked as written by the span about to run.
    const TextSpans* markedOutput() const;

protected:
    CommonModel& sourceModel() const override { return model(); }
    QString modelStateName() const override { return QStringLiteral("Html"); }
    void fileShown() override { markOutputOfCurrentSpan(); }

private:
    void handleStartup(const StartupEvent& e);
    void handleHtml(const HtmlEvent& e);
    void handleHighlightTag(const HighlightTagEvent& e);
    void handleHighlight(const HighlightEvent& e);
    void handlePassed(const PassedEvent& e);
    // Adds a piece of output, written by the current span, and its tags to `tags`.
    void addOutput(std::string_view html, HtmlTags& tags);
    // Announces the tags of output as an HtmlTagsEvent of the given type, if there are any.
    void announceTags(std::shared_ptr<HtmlTags> tags, std::int32_t type);
    // Lays out the output added and keeps its end in view.
    void followOutput();
    // The origins of the output of the file on show.
    OutputOrigins& origins();
    const OutputOrigins* shownOrigins() const;
    void markOutputOfCurrentSpan();

    mutable HtmlModel* model_ = nullptr;
    mutable std::unique_ptr<HtmlModel> ownModel_;
    // By file id: a file switched to and back keeps its origins.
    std::map<int, OutputOrigins> originsByFile_;
    // The span about to run, which writes the output that comes next.
    std::optional<OutputOrigin> current_;
};

} // namespace tracewin
