#include "views/filedisplayinfo.h"

namespace tracewin {

FileDisplayStore& FileDisplayStore::shared() {
    static FileDisplayStore store;
    return store;
}

void FileDisplayInfo::setJspCanvas(QWidget* canvas, const CommonModel& model,
                                   const CommonViewState* view) {
    jspCanvas = canvas;
    jspCommonModelViewInfo = std::make_shared<CommonModelViewInfo>(model, view);
}
void FileDisplayInfo::setJavaCanvas(QWidget* canvas, const CommonModel& model,
                                    const CommonViewState* view) {
    javaCanvas = canvas;
    javaCommonModelViewInfo = std::make_shared<CommonModelViewInfo>(model, view);
}
void FileDisplayInfo::setHtmlCanvas(QWidget* canvas, const CommonModel& model,
                                    const CommonViewState* view) {
    htmlCanvas = canvas;
    htmlCommonModelViewInfo = std::make_shared<CommonModelViewInfo>(model, view);
}
void FileDisplayInfo::setStackCanvas(QWidget* canvas, const CommonModel& model,
                                     const CommonViewState* view) {
    stackCanvas = canvas;
    stackCommonModelViewInfo = std::make_shared<CommonModelViewInfo>(model, view);
}

} // namespace tracewin
