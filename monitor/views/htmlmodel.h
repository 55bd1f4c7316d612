#pragma once

#include "core/htmltagposition.h"
#include "views/sourcemodels.h"
#include "views/textlines.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tracewin {

// The HTML the page has produced so far. Text is appended as it arrives; a run of line
// breaks opens exactly one new line, blanks-only pieces are dropped. The lines are kept as
// text blocks: output of megabytes costs little more than its characters.
class HtmlModel : public NamedModel {
public:
    using NamedModel::NamedModel;

    // Called for every complete tag ("<" to ">") that addText writes, with its text and
    // its 1-based inclusive span; a tag may be split over several calls of addText. The
    // lines may not hold the tag yet when it is called: a line takes its text in one
    // append, not one per tag.
    using TagListener = std::function<void(QStringView tagText, const HtmlTagPosition& position)>;

    // Appends produced HTML. Returns the span of the last "<" ... ">" written by this
    // call (or from the last "<" to the end of the text when it is not closed).
    HtmlTagPosition addText(const QString& text, const TagListener& onTag = {});
    // The same for output as the page runtime sends it, in UTF-8, with every tag it
    // completes added to `tags`. Output that is all ASCII, as most is, is taken apart byte
    // by byte, without being decoded into a string of its own first.
    HtmlTagPosition addText(std::string_view utf8, HtmlTags& tags);

    // The last character's position: (0, 0) with no lines, column 0 on an empty last line.
    FilePosition endPosition() const { return FilePosition(lastLineLength(), lineCount()); }

    // Starts over with no lines (another page is shown).
    void clear();

    const LineList& lineList() const override { return shown_; }
    KeptText keptText() const override { return {text_, count_}; }

protected:
    std::string modelName() const override { return "HtmlModel"; }
    void restoreText(const KeptText& text) override;

private:
    // The model's lines: the first count_ lines of its store.
    class Shown final : public LineList {
    public:
        explicit Shown(const HtmlModel& model) : model_(model) {}
        std::size_t size() const override { return model_.count_; }
        CharsView text(std::size_t index) const override { return model_.text_->text(index); }

    private:
        const HtmlModel& model_;
    };

    // The store to write to: one of the model's own when a snapshot holds lines of it
    // past the model's.
    TextLines& writable();
    // addText over the code units of a text: bytes of ASCII or UTF-16. The sink is told
    // every complete tag, and keeps the part of a tag that continues in the next call.
    template <class Char, class Sink>
    HtmlTagPosition addUnits(std::basic_string_view<Char> text, Sink& sink);
    int shownLines() const { return static_cast<int>(count_); }
    int lastLineLength() const {
        return count_ == 0 ? 0 : static_cast<int>(text_->length(count_ - 1));
    }

    std::shared_ptr<TextLines> text_ = std::make_shared<TextLines>();
    std::size_t count_ = 0;
    Shown shown_{*this};

    bool lastTokenIsLineFeed = false;
    // The tag being written, which may continue in the next call: the part of its text
    // that is no longer in the input, in UTF-8.
    bool inTag_ = false;
    std::string tagText_;
    HtmlTagPosition tagStart_;
};

} // namespace tracewin
