#include "views/eventlogview.h"

#include "core/breakpoints.h"
#include "core/record.h"
#include "views/monitorevents.h"

#include <QPlainTextEdit>

namespace tracewin {

EventLogView::EventLogView() {
    onLinkEvent<panekit::LinkEvent>([this](const panekit::LinkEvent& e) { append(e); });
}

EventLogView::~EventLogView() = default;

QWidget* EventLogView::getView() {
    if (!text_) {
        text_ = new QPlainTextEdit;
        text_->setReadOnly(true);
        text_->setMaximumBlockCount(10000);
        text_->setPlainText(lines_.join(u'\n'));
    }
    return text_;
}

QString EventLogView::describe(const panekit::LinkEvent& event) {
    QString kind = event.getKindKey();
    kind = kind.mid(kind.lastIndexOf(u'.') + 1);
    if (event.getEventType() == kAnsweredAhead)
        kind += QStringLiteral(" (answered ahead)");
    else if (event.getEventType() == kShownAgain)
        kind += QStringLiteral(" (shown again)");
    QString item;
    if (const Record* record = event.itemAs<Record>()) {
        const tracehook::JspSourceInfo& r = **record;
        item = QStringLiteral("file %1, type %2")
                   .arg(QString::fromStdString(r.getFileIdStr().value_or("-")))
                   .arg(r.getInfoType());
        if (r.getJspSourceFilename())
            item += QStringLiteral(", %1").arg(QString::fromStdString(*r.getJspSourceFilename()));
        if (r.getInfoType() == tracehook::JspSourceInfo::LINE_INFO)
            item += QStringLiteral(", java %1, jsp %2:%3-%4:%5")
                        .arg(r.getJavaLine())
                        .arg(r.getJspStartLine())
                        .arg(r.getJspStartPos())
                        .arg(r.getJspEndLine())
                        .arg(r.getJspEndPos());
        if (r.getHtmlString())
            item += QStringLiteral(", %1 characters of HTML").arg(r.getHtmlString()->size());
    } else if (const int* n = event.itemAs<int>()) {
        item = QString::number(*n);
    } else if (const BreakpointInfo* b = event.itemAs<BreakpointInfo>()) {
        item = QStringLiteral("line %1 %2")
                   .arg(b->getLineNum())
                   .arg(b->getIsSetBreakpt() ? "set" : "cleared");
    } else if (event.hasItem()) {
        item = QStringLiteral("(item)");
    }
    return item.isEmpty() ? kind : kind + QStringLiteral(": ") + item;
}

void EventLogView::append(const panekit::LinkEvent& event) {
    const QString line = describe(event);
    lines_ << line;
    if (lines_.size() > 10000)
        lines_.removeFirst();
    if (text_)
        text_->appendPlainText(line);
}

} // namespace tracewin
