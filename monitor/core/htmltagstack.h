#pragma once

#include "core/htmltagerrors.h"
#include "core/htmltagposition.h"
#include "core/htmltagtable.h"
#include "core/openelements.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tracewin {

class MonitorMessageFile;

// Where the tag stack reports to: the status line and the HTML view's tag highlight.
class HtmlTagStackListener {
public:
    virtual ~HtmlTagStackListener() = default;
    virtual void showStatus(const std::string& message) = 0; // a single blank clears it
    virtual void highlightTag(const std::optional<HtmlTagPosition>& position) = 0;
};

// The HTML elements open at the end of the output so far, innermost last, checked as each
// tag arrives: elements whose end tag may be omitted are closed when something that may
// not nest in them starts, missing end tags, end tags that close nothing and end tags of
// elements that may not have one are reported.
class HtmlTagStack {
public:
    using Entry = OpenElements::Entry;

    HtmlTagStack(const HtmlTagTable& table, const MonitorMessageFile& messages,
                 HtmlTagStackListener& listener);

    // One complete tag of the output ("<...>") at its position; the listener hears every
    // change of the status line and the highlight as it happens.
    void handleTag(std::string_view tagText, const HtmlTagPosition& pos);
    // The tags one piece of output completed, in order. The stack and the errors end as
    // handleTag would leave them, but the listener hears only the last status and the last
    // highlight, once: a piece with thousands of tags costs one report, and a summary of the
    // errors is worded only when it is the one shown.
    void handleTags(std::span<const HtmlTag> tags);

    void push(std::string_view tagText, HtmlType type, const HtmlTagPosition& pos);
    void remove(std::string_view tagPrefix, HtmlType type, const HtmlTagPosition& pos);
    void addTagError(const HtmlTagPosition& pos, std::string message);

    using Entries = OpenElements;
    const Entries& getStack() const { return stack_; }
    // How many entries at the bottom of the stack have stayed in place since the last call
    // (the stack only changes at its top); starts counting again from the current depth.
    std::size_t takeUnchangedDepth();
    // Output can hold millions of errors: they are kept packed, a few bytes each.
    using ErrorList = HtmlTagErrorList;
    const ErrorList& errorList() const { return errors_; }
    // Forgets every open element and error (another page is shown).
    void clear();

private:
    // What the listener is to hear last, while handleTags runs. A text is one of the
    // stack's wordings (or the cleared status), so passing it on copies nothing.
    using Text = const std::string*;
    struct PendingReport {
        Text status;                                // null: none
        std::optional<std::size_t> summaryOfErrors; // the status, worded when it is told
        std::optional<std::optional<HtmlTagPosition>> highlight;
        bool firstErrorHighlighted = false; // the highlight is the first error's
    };

    void showStatus(Text message);
    void showErrorSummary();
    void highlight(const std::optional<HtmlTagPosition>& position);
    void highlightFirstError();
    std::string errorSummary(std::size_t count) const;
    void report(Text message, const HtmlTagPosition& at,
                const std::optional<HtmlTagPosition>& highlight);
    std::string message(const char* id, const std::vector<std::string>& args) const;
    // The text of a message with its arguments, worded once and shared from then on.
    Text wording(const char* id, std::initializer_list<std::string_view> args);

    const HtmlTagTable& table_;
    const MonitorMessageFile& messages_;
    HtmlTagStackListener& listener_;
    // Closes the innermost open element that starts with prefix16_ ("<" and `name`) and
    // those inside it, or reports that none does.
    void closeInnermost(std::string_view name, const HtmlTagPosition& pos);
    void popEntry();
    // The UTF-8 text of the top element, in a buffer kept for it (a message's argument).
    std::string_view topText();

    // Adds the entries not yet in the index to it.
    void indexEntries();
    // False when no indexed entry starts with the prefix (a "<" and a name); true when one
    // may.
    bool indexMayHold(std::u16string_view tagPrefix) const;

    Entries stack_;
    // How many of the entries at the bottom of the stack start with each key (the first
    // characters after the "<", upper-cased): an end tag that closes nothing is known as
    // such without walking a deep stack. Entries join it only when an end tag's search goes
    // past the entries looked at directly, so well nested output never builds it. Output
    // has few distinct keys, so the map stays small and an entry costs no allocation.
    static constexpr std::size_t kEntriesSearchedDirectly = 32;
    std::map<std::uint64_t, std::uint32_t> indexedKeys_;
    std::size_t indexed_ = 0;        // the entries at the bottom of the stack that are counted
    std::size_t unchangedDepth_ = 0; // the lowest depth since takeUnchangedDepth
    std::vector<char16_t> prefix16_; // the prefix closeInnermost looks for, in UTF-16
    std::string topText_;
    ErrorList errors_;
    // Each message worded so far, by its id and arguments.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const {
            return std::hash<std::string_view>{}(key);
        }
    };
    // Node-based, so a wording stays where it is while others are added.
    std::unordered_map<std::string, std::string, KeyHash, std::equal_to<>> wordings_;
    std::string wordingKey_;
    // The wordings asked for last, by a cheap hash of id and arguments: output that breaks
    // the nesting repeats a few wordings over and over.
    struct RecentWording {
        const char* id = nullptr;
        std::string args; // each followed by '\x1f'
        Text text = nullptr;
    };
    static constexpr std::size_t kRecentWordings = 64;
    std::array<RecentWording, kRecentWordings> recentWordings_;
    std::optional<PendingReport> pending_; // set while handleTags runs
};

} // namespace tracewin
