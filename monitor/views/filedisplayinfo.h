#pragma once

#include "views/commonmodel.h"

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>

namespace tracewin {

// What the views keep for one JSP file of a request: the display component each view
// made for it and a snapshot of each view's model and view. The components belong to the
// views; an entry only points at them.
class FileDisplayInfo {
public:
    using Snapshot = std::shared_ptr<const CommonModelViewInfo>;

    QWidget* getJspCanvas() const { return jspCanvas; }
    QWidget* getJavaCanvas() const { return javaCanvas; }
    QWidget* getHtmlCanvas() const { return htmlCanvas; }
    QWidget* getStackCanvas() const { return stackCanvas; }
    QWidget* getBrowserCanvas() const { return browserCanvas; }
    const Snapshot& getJspCommonModelViewInfo() const { return jspCommonModelViewInfo; }
    const Snapshot& getJavaCommonModelViewInfo() const { return javaCommonModelViewInfo; }
    const Snapshot& getHtmlCommonModelViewInfo() const { return htmlCommonModelViewInfo; }
    const Snapshot& getStackCommonModelViewInfo() const { return stackCommonModelViewInfo; }

    void setJspCanvas(QWidget* canvas, const CommonModel& model, const CommonViewState* view);
    void setJavaCanvas(QWidget* canvas, const CommonModel& model, const CommonViewState* view);
    void setHtmlCanvas(QWidget* canvas, const CommonModel& model, const CommonViewState* view);
    void setStackCanvas(QWidget* canvas, const CommonModel& model, const CommonViewState* view);
    void setBrowserCanvas(QWidget* canvas) { browserCanvas = canvas; }

private:
    QPointer<QWidget> jspCanvas, javaCanvas, htmlCanvas, stackCanvas, browserCanvas;
    Snapshot jspCommonModelViewInfo, javaCommonModelViewInfo, htmlCommonModelViewInfo,
        stackCommonModelViewInfo;
};

// The per-file entries, keyed by file id, shared by every model of the monitor.
class FileDisplayStore {
public:
    static FileDisplayStore& shared();

    void saveFileDisplayInfo(int fileId, FileDisplayInfo info) {
        entries_[fileId] = std::move(info);
    }
    // The entry of the file, made empty when there is none yet.
    FileDisplayInfo& retrieveFileDisplayInfo(int fileId) { return entries_[fileId]; }
    void removeFileDisplayInfo(int fileId) { entries_.erase(fileId); }
    bool contains(int fileId) const { return entries_.count(fileId) != 0; }
    void clear() { entries_.clear(); }

private:
    std::map<int, FileDisplayInfo> entries_;
};

} // namespace tracewin
