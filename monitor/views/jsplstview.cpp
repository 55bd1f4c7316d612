#include "views/jsplstview.h"

#include "core/record.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QScrollArea>
#include <QSignalBlocker>

namespace tracewin {
namespace {
using tracehook::Tracer;
} // namespace

JspLstView::JspLstView() {
    // The list fills the pane; it scrolls itself.
    onLinkEvent<StartupEvent>(&JspLstView::handleStartup);
    onLinkEvent<SwitchJspFileEvent>(&JspLstView::handleSwitchJspFile);
    onLinkEvent<ClientExitEvent>(&JspLstView::handleClientExit);
}

JspLstView::~JspLstView() = default;

QStringList JspLstView::getLinkEventNames() const {
    return {SwitchJspFileEvent::kindKey(),
            ReturnJspFocusEvent::kindKey(),
            RestartConnectionEvent::kindKey(),
            ResumeEvent::kindKey(),
            ExitEvent::kindKey(),
            ChangeButtonStateEvent::kindKey()};
}

JspLstModel& JspLstView::model() const {
    return resolveModel(model_, ownModel_);
}

void JspLstView::toolInstalled() {
    CommonView::toolInstalled();
    setTitle(labelText("L-JSPListViewTitle") + QStringLiteral("  "));
}

std::optional<int> JspLstView::fileIdOfRow(int row) const {
    auto it = fileIdLst.find(row);
    return it == fileIdLst.end() ? std::nullopt : std::optional<int>(it->second);
}

void JspLstView::handleStartup(const StartupEvent& e) {
    QElapsedTimer timer;
    timer.start();
    const Record* record = e.itemAs<Record>();
    if (!record || !*record || !(*record)->getJspSourceFilename())
        return;
    const tracehook::JspSourceInfo& r = **record;
    const QString path = QString::fromStdString(*r.getJspSourceFilename()).replace(u'\\', u'/');
    int row = static_cast<int>(jspStrLstData.indexOf(path));
    if (row < 0) {
        row = static_cast<int>(jspStrLstData.size());
        jspStrLstData.append(path);
    }
    bool ok = false;
    const int fileId = r.getFileIdStr() ? QString::fromStdString(*r.getFileIdStr()).toInt(&ok) : 0;
    if (ok)
        fileIdLst[row] = fileId;

    // A new list over the same rows, its row selected before it reports selections.
    auto* list = new QListWidget(getScrollPane());
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->addItems(jspStrLstData);
    list->setCurrentRow(row);
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &JspLstView::valueChanged);
    QListWidget* old = jspStrLst;
    jspStrLst = list;
    showList(row);
    if (old)
        old->deleteLater();
    Tracer::trace(this, "handleLinkEvent",
                  "Time for startup of JspLstView: " + std::to_string(timer.elapsed() / 1000.0));
}

void JspLstView::showList(int row) {
    setClient(jspStrLst);
    getScrollPane()->updateGeometry();
    getScrollPane()->update();
    if (jspStrLst && row >= 0 && row < jspStrLst->count())
        jspStrLst->scrollToItem(jspStrLst->item(row));
}

void JspLstView::valueChanged() {
    if (!jspStrLst)
        return;
    Tracer::printLine("before get Source... " + jspStrLst->objectName().toStdString() +
                      "QListWidget");
    int row = -1;
    const QList<QListWidgetItem*> selected = jspStrLst->selectedItems();
    if (!selected.isEmpty())
        row = jspStrLst->row(selected.first());
    // An empty selection names no file: nothing to switch to.
    const std::optional<int> fileId = fileIdOfRow(row);
    if (!fileId)
        return;
    fire<SwitchJspFileEvent>(*fileId);
}

void JspLstView::handleSwitchJspFile(const SwitchJspFileEvent& e) {
    const int* id = e.itemAs<int>();
    Tracer::trace(this, "handleLinkEvent", "Switching file -- JspLstView");
    if (!id)
        return;
    for (const auto& [row, fileId] : fileIdLst) {
        Tracer::trace(this, "handleLinkEvent",
                      "SwitchFileIdInt: " + std::to_string(*id) +
                          ", curFileIdInt: " + std::to_string(fileId));
        if (fileId != *id)
            continue;
        Tracer::trace(this, "handleLinkEvent",
                      "Switch file Id matched: index=" + std::to_string(row));
        if (jspStrLst) {
            // Following a switch is not a new request to switch.
            const QSignalBlocker quiet(jspStrLst->selectionModel());
            jspStrLst->setCurrentRow(row);
            jspStrLst->viewport()->update();
        }
        showList(row);
        return;
    }
}

void JspLstView::handleClientExit(const ClientExitEvent&) {
    fire<RestartConnectionEvent>();
}

} // namespace tracewin
