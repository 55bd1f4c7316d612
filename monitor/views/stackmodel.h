#pragma once

#include "core/htmltagstack.h"
#include "views/linelist.h"
#include "views/sourcemodels.h"

#include <map>
#include <memory>
#include <span>

namespace tracewin {

// The HTML elements open at the end of each page's output, innermost last: its display
// lines are the open tags. Each JSP file of a request has a stack of its own, so switching
// files brings back that file's stack and errors.
class StackModel final : public NamedModel, private HtmlTagStackListener {
public:
    StackModel();
    ~StackModel() override;

    // Where nesting problems go: the stack view (its status line and tag highlight).
    void setTool(HtmlTagStackListener* tool) { myTool = tool; }

    // Starts an empty stack for the file, or goes back to the file's stack.
    void startFile(int fileId);
    void selectFile(int fileId);

    // One complete tag of the output at its position.
    void handleTag(const QString& tagText, const HtmlTagPosition& position);
    // The tags one piece of output completed, in order; the view hears the status and the
    // highlight they leave, once.
    void handleTags(std::span<const HtmlTag> tags);
    void push(const QString& tagText, HtmlType type, const HtmlTagPosition& pos);
    void remove(const QString& tagPrefix, HtmlType type, const HtmlTagPosition& pos);

    // The entry of a 0-based display line, if there is one.
    std::optional<HtmlTagStack::Entry> getHtmlTagInfo(int index) const;
    const HtmlTagStack::Entries& getStack() const { return current().getStack(); }
    const HtmlTagStack::ErrorList& errorList() const { return current().errorList(); }
    // The first 0-based line made again since the last call: the lines before it are as
    // the view last laid them out.
    std::size_t takeFirstChangedLine();

    const LineList& lineList() const override { return shown_; }

protected:
    std::string modelName() const override { return "StackModel"; }

private:
    void showStatus(const std::string& message) override;
    void highlightTag(const std::optional<HtmlTagPosition>& position) override;
    HtmlTagStack& current() const;
    // The display lines are the stack's open tags, read where the stack keeps them; these
    // note which lines changed.
    void rebuildLines();
    void followStack();

    // The current stack's open tags as display lines.
    class OpenTags final : public LineList {
    public:
        explicit OpenTags(const StackModel& model) : model_(model) {}
        std::size_t size() const override { return model_.current().getStack().size(); }
        CharsView text(std::size_t index) const override {
            return model_.current().getStack().text(index);
        }

    private:
        const StackModel& model_;
    };

    HtmlTagStackListener* myTool = nullptr;
    mutable std::map<int, std::unique_ptr<HtmlTagStack>> stacks_;
    int currentFile_ = 0;
    std::size_t firstChangedLine_ = 0;
    OpenTags shown_{*this};
};

} // namespace tracewin
