#include "views/stackmodel.h"

#include "core/asciitext.h"
#include "core/monitormessagefile.h"

#include <algorithm>

namespace tracewin {
namespace {

// An open tag's display line. Tags are almost always ASCII: those are stored as they
// are, without a string decoded for each.
void appendDisplayLine(TextLines& lines, const std::string& tagText) {
    if (isAscii(tagText))
        lines.appendLine(QLatin1StringView(tagText.data(), static_cast<qsizetype>(tagText.size())));
    else
        lines.appendLine(QString::fromStdString(tagText));
}

} // namespace

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

const HtmlTagStack::Entry* StackModel::getHtmlTagInfo(int index) const {
    const auto& stack = current().getStack();
    if (index < 0 || index >= static_cast<int>(stack.size()))
        return nullptr;
    return &stack[static_cast<std::size_t>(index)];
}

void StackModel::rebuildLines() {
    text_.clear();
    current().takeUnchangedDepth();
    firstChangedLine_ = 0;
    for (const HtmlTagStack::Entry& entry : current().getStack())
        appendDisplayLine(text_, entry.text);
}

std::size_t StackModel::takeFirstChangedLine() {
    const std::size_t first = std::min(firstChangedLine_, text_.size());
    firstChangedLine_ = text_.size();
    return first;
}

void StackModel::followStack() {
    const auto& stack = current().getStack();
    const std::size_t unchanged = std::min(current().takeUnchangedDepth(), text_.size());
    firstChangedLine_ = std::min(firstChangedLine_, unchanged);
    text_.truncate(unchanged);
    for (std::size_t i = unchanged; i < stack.size(); ++i)
        appendDisplayLine(text_, stack[i].text);
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
