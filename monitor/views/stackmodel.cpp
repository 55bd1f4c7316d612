#include "views/stackmodel.h"

#include "core/monitormessagefile.h"

#include <algorithm>

namespace tracewin {
StackModel::StackModel() = default;
StackModel::~StackModel() = default;

HtmlTagStack& StackModel::current() const {
    std::unique_ptr<HtmlTagStack>& stack = stacks_[currentFile_];
    if (!stack) {
        auto* self = const_cast<StackModel*>(this);
        stack = std::make_unique<HtmlTagStack>(HtmlTagTable::createHtmlTagTable(),
                                               MonitorMessageFile::createMonitorMessageFile(),
                                               static_cast<HtmlTagStackListener&>(*self));
    }
    return *stack;
}

void StackModel::startFile(int fileId) {
    currentFile_ = fileId;
    current().clear();
    rebuildLines();
}

void StackModel::selectFile(int fileId) {
    currentFile_ = fileId;
    rebuildLines();
}

void StackModel::handleTag(const QString& tagText, const HtmlTagPosition& position) {
    current().handleTag(tagText.toStdString(), position);
    followStack();
}

void StackModel::handleTags(std::span<const HtmlTag> tags) {
    current().handleTags(tags);
    followStack();
}

void StackModel::push(const QString& tagText, HtmlType type, const HtmlTagPosition& pos) {
    current().push(tagText.toStdString(), type, pos);
    followStack();
}

void StackModel::remove(const QString& tagPrefix, HtmlType type, const HtmlTagPosition& pos) {
    current().remove(tagPrefix.toStdString(), type, pos);
    followStack();
}

std::optional<HtmlTagStack::Entry> StackModel::getHtmlTagInfo(int index) const {
    const auto& stack = current().getStack();
    if (index < 0 || index >= static_cast<int>(stack.size()))
        return std::nullopt;
    return stack[static_cast<std::size_t>(index)];
}

void StackModel::rebuildLines() {
    current().takeUnchangedDepth();
    firstChangedLine_ = 0;
}

std::size_t StackModel::takeFirstChangedLine() {
    const std::size_t depth = current().getStack().size();
    const std::size_t first = std::min(firstChangedLine_, depth);
    firstChangedLine_ = depth;
    return first;
}

void StackModel::followStack() {
    firstChangedLine_ = std::min(firstChangedLine_, current().takeUnchangedDepth());
}

void StackModel::showStatus(const std::string& message) {
    if (myTool)
        myTool->showStatus(message);
}

void StackModel::highlightTag(const std::optional<HtmlTagPosition>& position) {
    if (myTool)
        myTool->highlightTag(position);
}

} // namespace tracewin
