#include "panekit/configuration.h"

namespace panekit {

QString PageReference::effectiveTitle() const {
    if (!title.isEmpty())
        return title;
    return page->title.isEmpty() ? page->name : page->title;
}

const ToolDescription* Configuration::findTool(const QString& n) const {
    for (const auto& t : tools)
        if (t->name == n)
            return t.get();
    return nullptr;
}

const ModelDescription* Configuration::findModel(const QString& n) const {
    for (const auto& m : models)
        if (m->name == n)
            return m.get();
    return nullptr;
}

const PageDescription* Configuration::findPage(const QString& n) const {
    for (const auto& p : pages)
        if (p->name == n)
            return p.get();
    return nullptr;
}

const WorkbookDescription* Configuration::findWorkbook(const QString& n) const {
    for (const auto& w : workbooks)
        if (w->name == n)
            return w.get();
    return nullptr;
}

const DataBlockDescription* Configuration::findDataBlock(const QString& type,
                                                         const QString& n) const {
    for (const auto& b : blocks)
        if (b->type == type && b->name == n)
            return b.get();
    return nullptr;
}

const ModelDescription* Configuration::defaultModel() const {
    for (const auto& m : models)
        if (m->defaultModel)
            return m.get();
    return nullptr;
}

} // namespace panekit
