#include "core/htmltagstack.h"

#include "core/asciitext.h"
#include "core/monitormessageconstants.h"
#include "core/monitormessagefile.h"
#include "core/utf16text.h"

#include <algorithm>

namespace tracewin {
namespace {

bool mayNotNest(int topLevel, int level) {
    if (topLevel == HtmlTagTable::SINGLE_BLOCK_ELEMENT &&
        (level == HtmlTagTable::SINGLE_BLOCK_ELEMENT || level == HtmlTagTable::BLOCK_ELEMENT))
        return true;
    if (topLevel > level)
        return true;
    return (level == HtmlTagTable::INLINE_ELEMENT || level == HtmlTagTable::LEAF_ELEMENT) &&
           level == topLevel;
}

// The index key of a text that starts with "<": its next characters, upper-cased, the
// first in the highest byte, missing ones zero, and those past ASCII 0xff.
constexpr std::size_t kKeyLength = sizeof(std::uint64_t);
std::uint64_t indexKey(CharsView afterBracket) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < kKeyLength; ++i) {
        key <<= 8;
        if (i < afterBracket.size())
            key |= afterBracket[i] < 0x80 ? static_cast<std::uint64_t>(asciiUpper(afterBracket[i]))
                                          : 0xff;
    }
    return key;
}

std::uint64_t indexKeyOf(CharsView entryText) {
    if (!entryText.empty() && entryText[0] == u'<')
        entryText = entryText.substr(1);
    return indexKey(entryText);
}

// Where a wording is looked for among the recent ones: FNV-1a over id and arguments.
std::size_t recentSlot(const char* id, std::initializer_list<std::string_view> args,
                       std::size_t slots) {
    std::uint64_t hash = 1469598103934665603ull ^ reinterpret_cast<std::uintptr_t>(id);
    for (std::string_view arg : args) {
        for (char c : arg)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        hash = (hash ^ 0x1f) * 1099511628211ull;
    }
    return static_cast<std::size_t>(hash ^ (hash >> 32)) % slots;
}

bool sameArgs(std::string_view joined, std::initializer_list<std::string_view> args) {
    for (std::string_view arg : args) {
        if (!joined.starts_with(arg) || joined.size() == arg.size() || joined[arg.size()] != '\x1f')
            return false;
        joined.remove_prefix(arg.size() + 1);
    }
    return joined.empty();
}

const std::string* clearedStatus() {
    static const std::string cleared(" ");
    return &cleared;
}

} // namespace

HtmlTagStack::HtmlTagStack(const HtmlTagTable& table, const MonitorMessageFile& messages,
                           HtmlTagStackListener& listener)
    : table_(table), messages_(messages), listener_(listener) {}

std::string HtmlTagStack::message(const char* id, const std::vector<std::string>& args) const {
    return messages_.getMsgStr(id, args);
}

void HtmlTagStack::addTagError(const HtmlTagPosition& pos, std::string msg) {
    // A text of its own is kept as a wording with no message id: the key is the text.
    std::string key = '\x1f' + msg;
    auto known = wordings_.find(std::string_view(key));
    if (known == wordings_.end())
        known = wordings_.emplace(std::move(key), std::move(msg)).first;
    errors_.emplace_back(pos, known->second);
}

HtmlTagStack::Text HtmlTagStack::wording(const char* id,
                                         std::initializer_list<std::string_view> args) {
    RecentWording& recent = recentWordings_[recentSlot(id, args, kRecentWordings)];
    if (recent.id == id && sameArgs(recent.args, args))
        return recent.text;
    // The key is built in a buffer kept for it: a known wording costs no allocation.
    wordingKey_.assign(id);
    for (std::string_view arg : args) {
        wordingKey_ += '\x1f';
        wordingKey_ += arg;
    }
    auto known = wordings_.find(std::string_view(wordingKey_));
    if (known == wordings_.end()) {
        std::string text = message(id, std::vector<std::string>(args.begin(), args.end()));
        known = wordings_.emplace(wordingKey_, std::move(text)).first;
    }
    recent.id = id;
    recent.args.clear();
    for (std::string_view arg : args) {
        recent.args += arg;
        recent.args += '\x1f';
    }
    recent.text = &known->second;
    return recent.text;
}

void HtmlTagStack::showStatus(Text msg) {
    if (!pending_) {
        listener_.showStatus(*msg);
        return;
    }
    pending_->status = msg;
    pending_->summaryOfErrors.reset();
}

void HtmlTagStack::showErrorSummary() {
    if (!pending_) {
        listener_.showStatus(errorSummary(errors_.size()));
        return;
    }
    pending_->status = nullptr;
    pending_->summaryOfErrors = errors_.size();
}

std::string HtmlTagStack::errorSummary(std::size_t count) const {
    const char* id =
        count == 1 ? MonitorMessageConstants::HTML_ERROR : MonitorMessageConstants::HTML_ERRORS;
    return message(id, {std::to_string(count)});
}

void HtmlTagStack::highlight(const std::optional<HtmlTagPosition>& position) {
    if (!pending_) {
        listener_.highlightTag(position);
        return;
    }
    pending_->highlight = position;
    pending_->firstErrorHighlighted = false;
}

void HtmlTagStack::highlightFirstError() {
    // While a piece's tags are handled, the first error stays the first: it is looked up
    // once, when the highlight is told.
    if (pending_)
        pending_->firstErrorHighlighted = true;
    else
        listener_.highlightTag(errors_.front().getErrPos());
}

void HtmlTagStack::report(Text msg, const HtmlTagPosition& at,
                          const std::optional<HtmlTagPosition>& highlightAt) {
    showStatus(msg);
    errors_.emplace_back(at, *msg);
    highlight(highlightAt);
}

void HtmlTagStack::clear() {
    stack_.clear();
    indexedKeys_.clear();
    indexed_ = 0;
    unchangedDepth_ = 0;
    errors_.clear();
    recentWordings_.fill(RecentWording{});
    wordings_.clear();
}

void HtmlTagStack::handleTags(std::span<const HtmlTag> tags) {
    if (tags.empty())
        return;
    pending_.emplace(PendingReport{});
    for (const HtmlTag& tag : tags)
        handleTag(tag.text, tag.pos);
    PendingReport last = std::move(*pending_);
    pending_.reset();
    if (last.summaryOfErrors)
        listener_.showStatus(errorSummary(*last.summaryOfErrors));
    else if (last.status)
        listener_.showStatus(*last.status);
    if (last.firstErrorHighlighted)
        listener_.highlightTag(errors_.front().getErrPos());
    else if (last.highlight)
        listener_.highlightTag(*last.highlight);
}

void HtmlTagStack::handleTag(std::string_view tagText, const HtmlTagPosition& pos) {
    if (errors_.empty()) {
        showStatus(clearedStatus());
    } else {
        showErrorSummary();
        highlightFirstError();
    }

    std::string_view body = tagText;
    if (!body.empty() && body.front() == '<')
        body.remove_prefix(1);
    // The body ends at the first "<" or ">" (one pass; a set search scans the set per byte).
    body = body.substr(
        0, static_cast<std::size_t>(
               std::find_if(body.begin(), body.end(), [](char c) { return c == '<' || c == '>'; }) -
               body.begin()));
    if (body.empty())
        return;

    if (body.front() == '/') {
        std::string_view name = body.substr(1);
        while (!name.empty() && isAsciiSpace(name.back()))
            name.remove_suffix(1);
        HtmlType type = table_.getHtmlType(name);
        if (type.getHtmlType() == HtmlTagTable::END_TAG_FORBIDDEN) {
            const std::string endTag = "</" + std::string(name) + ">";
            report(wording(MonitorMessageConstants::END_TAG_FORBIDDEN, {endTag, asciiUpper(name)}),
                   pos, pos);
        } else {
            prefix16_.assign(1, u'<');
            appendUtf16(prefix16_, name);
            closeInnermost(name, pos);
        }
        return;
    }

    // A self-closed element ("<br/>", "<x:tag a='1'/>") opens nothing.
    if (body.back() == '/')
        return;
    HtmlType type = table_.getHtmlType(body);
    switch (type.getHtmlType()) {
    case HtmlTagTable::END_TAG_OPTIONAL:
    case HtmlTagTable::END_TAG_REQUIRED:
    case HtmlTagTable::XML_TAG:
        push(tagText, type, pos);
        break;
    default:
        break;
    }
}

void HtmlTagStack::popEntry() {
    if (indexed_ == stack_.size()) {
        --indexedKeys_.find(indexKeyOf(stack_.text(stack_.size() - 1)))->second;
        --indexed_;
    }
    stack_.pop();
    unchangedDepth_ = std::min(unchangedDepth_, stack_.size());
}

std::string_view HtmlTagStack::topText() {
    topText_.clear();
    appendUtf8(topText_, stack_.text(stack_.size() - 1));
    return topText_;
}

void HtmlTagStack::indexEntries() {
    for (; indexed_ < stack_.size(); ++indexed_)
        ++indexedKeys_[indexKeyOf(stack_.text(indexed_))];
}

bool HtmlTagStack::indexMayHold(std::u16string_view tagPrefix) const {
    // Every entry the prefix starts has the prefix's first characters in its key.
    const std::u16string_view name = tagPrefix.substr(std::min<std::size_t>(1, tagPrefix.size()));
    const std::size_t known = std::min(name.size(), kKeyLength);
    const std::uint64_t low = indexKey(name.substr(0, known));
    const std::uint64_t high = known == kKeyLength ? low : low | (~std::uint64_t{0} >> (8 * known));
    for (auto it = indexedKeys_.lower_bound(low); it != indexedKeys_.end() && it->first <= high;
         ++it) {
        if (it->second > 0)
            return true;
    }
    return false;
}

std::size_t HtmlTagStack::takeUnchangedDepth() {
    const std::size_t unchanged = std::min(unchangedDepth_, stack_.size());
    unchangedDepth_ = stack_.size();
    return unchanged;
}

void HtmlTagStack::push(std::string_view tagText, HtmlType type, const HtmlTagPosition& pos) {
    showStatus(clearedStatus());
    while (!stack_.empty()) {
        const HtmlType top = stack_.type(stack_.size() - 1);
        if (!mayNotNest(top.getHtmlLevel(), type.getHtmlLevel()))
            break;
        if (top.getHtmlType() == HtmlTagTable::END_TAG_REQUIRED)
            report(wording(MonitorMessageConstants::END_TAG_REQUIRED, {topText()}), pos,
                   std::nullopt);
        popEntry();
    }
    stack_.push(tagText, type, pos);
}

void HtmlTagStack::remove(std::string_view tagPrefix, HtmlType /*type*/,
                          const HtmlTagPosition& pos) {
    prefix16_.clear();
    appendUtf16(prefix16_, tagPrefix);
    closeInnermost(tagPrefix.substr(std::min<std::size_t>(1, tagPrefix.size())), pos);
}

void HtmlTagStack::closeInnermost(std::string_view name, const HtmlTagPosition& pos) {
    showStatus(clearedStatus());
    const std::u16string_view prefix(prefix16_.data(), prefix16_.size());
    const auto startsWithPrefix = [prefix](CharsView text) {
        return startsWithIgnoringAsciiCase(text, prefix);
    };
    // Most end tags close an element at or near the top: a few entries are looked at
    // directly, and only past them does the index say whether a deeper one matches.
    const std::size_t depth = stack_.size();
    const std::size_t near = depth - std::min(depth, kEntriesSearchedDirectly);
    std::optional<std::size_t> match = stack_.innermost(depth, near, startsWithPrefix);
    if (!match && near > 0) {
        indexEntries();
        if (indexMayHold(prefix))
            match = stack_.innermost(near, 0, startsWithPrefix);
    }
    if (!match) {
        const std::string endTag = "</" + std::string(name) + ">";
        report(wording(MonitorMessageConstants::START_TAG_MISSING, {endTag}), pos, pos);
        return;
    }
    highlight(pos);
    while (stack_.size() > *match + 1) {
        if (stack_.type(stack_.size() - 1).getHtmlType() == HtmlTagTable::END_TAG_REQUIRED)
            report(wording(MonitorMessageConstants::END_TAG_REQUIRED, {topText()}), pos, pos);
        popEntry();
    }
    popEntry();
}

} // namespace tracewin
