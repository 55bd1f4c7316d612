#include "core/htmltagstack.h"

#include "core/monitormessageconstants.h"
#include "core/monitormessagefile.h"

#include <algorithm>
#include <cctype>

namespace tracewin {
namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Compares as the upper-case forms would, without making them: a deep stack is searched
// for every end tag.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool mayNotNest(int topLevel, int level) {
    if (topLevel == HtmlTagTable::SINGLE_BLOCK_ELEMENT &&
        (level == HtmlTagTable::SINGLE_BLOCK_ELEMENT || level == HtmlTagTable::BLOCK_ELEMENT))
        return true;
    if (topLevel > level)
        return true;
    return (level == HtmlTagTable::INLINE_ELEMENT || level == HtmlTagTable::LEAF_ELEMENT) &&
           level == topLevel;
}

const std::shared_ptr<const std::string>& clearedStatus() {
    static const auto cleared = std::make_shared<const std::string>(" ");
    return cleared;
}

} // namespace

HtmlTagStack::HtmlTagStack(const HtmlTagTable& table, const MonitorMessageFile& messages,
                           HtmlTagStackListener& listener)
    : table_(table), messages_(messages), listener_(listener) {}

std::string HtmlTagStack::message(const char* id, const std::vector<std::string>& args) const {
    return messages_.getMsgStr(id, args);
}

void HtmlTagStack::addTagError(const HtmlTagPosition& pos, std::string msg) {
    errors_.emplace_back(pos, std::move(msg));
}

const HtmlTagStack::Text& HtmlTagStack::wording(const char* id,
                                                std::initializer_list<std::string_view> args) {
    std::string key = id;
    for (std::string_view arg : args) {
        key += '\x1f';
        key += arg;
    }
    auto [it, added] = wordings_.try_emplace(std::move(key));
    if (added)
        it->second = std::make_shared<const std::string>(
            message(id, std::vector<std::string>(args.begin(), args.end())));
    return it->second;
}

void HtmlTagStack::showStatus(const Text& msg) {
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
    pending_->status.reset();
    pending_->summaryOfErrors = errors_.size();
}

std::string HtmlTagStack::errorSummary(std::size_t count) const {
    const char* id =
        count == 1 ? MonitorMessageConstants::HTML_ERROR : MonitorMessageConstants::HTML_ERRORS;
    return message(id, {std::to_string(count)});
}

void HtmlTagStack::highlight(std::optional<HtmlTagPosition> position) {
    if (pending_)
        pending_->highlight = position;
    else
        listener_.highlightTag(position);
}

void HtmlTagStack::report(const Text& msg, const HtmlTagPosition& at,
                          std::optional<HtmlTagPosition> highlightAt) {
    showStatus(msg);
    errors_.emplace_back(at, msg);
    highlight(highlightAt);
}

void HtmlTagStack::clear() {
    stack_.clear();
    upperTexts_.clear();
    upperTextOf_.clear();
    unchangedDepth_ = 0;
    errors_.clear();
    wordings_.clear();
}

void HtmlTagStack::handleTags(std::span<const HtmlTag> tags) {
    if (tags.empty())
        return;
    pending_.emplace();
    for (const HtmlTag& tag : tags)
        handleTag(tag.text, tag.pos);
    PendingReport last = std::move(*pending_);
    pending_.reset();
    if (last.summaryOfErrors)
        listener_.showStatus(errorSummary(*last.summaryOfErrors));
    else if (last.status)
        listener_.showStatus(*last.status);
    if (last.highlight)
        listener_.highlightTag(*last.highlight);
}

void HtmlTagStack::handleTag(std::string_view tagText, const HtmlTagPosition& pos) {
    if (errors_.empty()) {
        showStatus(clearedStatus());
    } else {
        showErrorSummary();
        highlight(errors_.front().getErrPos());
    }

    std::string_view body = tagText;
    if (!body.empty() && body.front() == '<')
        body.remove_prefix(1);
    body = body.substr(0, body.find_first_of("<>"));
    if (body.empty())
        return;

    if (body.front() == '/') {
        std::string_view name = body.substr(1);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.remove_suffix(1);
        HtmlType type = table_.getHtmlType(name);
        if (type.getHtmlType() == HtmlTagTable::END_TAG_FORBIDDEN) {
            const std::string endTag = "</" + std::string(name) + ">";
            report(wording(MonitorMessageConstants::END_TAG_FORBIDDEN, {endTag, upper(name)}), pos,
                   pos);
        } else {
            remove("<" + std::string(name), type, pos);
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
        push(std::string(tagText), type, pos);
        break;
    default:
        break;
    }
}

void HtmlTagStack::pushEntry(Entry entry) {
    upperTextOf_.push_back(upperTexts_.insert(upper(entry.text)));
    stack_.push_back(std::move(entry));
}

void HtmlTagStack::popEntry() {
    upperTexts_.erase(upperTextOf_.back());
    upperTextOf_.pop_back();
    stack_.pop_back();
    unchangedDepth_ = std::min(unchangedDepth_, stack_.size());
}

std::size_t HtmlTagStack::takeUnchangedDepth() {
    const std::size_t unchanged = std::min(unchangedDepth_, stack_.size());
    unchangedDepth_ = stack_.size();
    return unchanged;
}

void HtmlTagStack::push(std::string tagText, HtmlType type, const HtmlTagPosition& pos) {
    showStatus(clearedStatus());
    while (!stack_.empty()) {
        const Entry& top = stack_.back();
        if (!mayNotNest(top.type.getHtmlLevel(), type.getHtmlLevel()))
            break;
        if (top.type.getHtmlType() == HtmlTagTable::END_TAG_REQUIRED)
            report(wording(MonitorMessageConstants::END_TAG_REQUIRED, {top.text}), pos,
                   std::nullopt);
        popEntry();
    }
    pushEntry(Entry{std::move(tagText), type, pos});
}

void HtmlTagStack::remove(std::string_view tagPrefix, HtmlType /*type*/,
                          const HtmlTagPosition& pos) {
    showStatus(clearedStatus());
    const std::string prefix = upper(tagPrefix);
    const auto indexed = upperTexts_.lower_bound(prefix);
    const bool anyMatch = indexed != upperTexts_.end() && indexed->starts_with(prefix);
    // The walk stops at the innermost match; every entry it passes is closed below.
    auto match = anyMatch ? std::find_if(stack_.rbegin(), stack_.rend(),
                                         [&](const Entry& e) {
                                             return startsWithIgnoringCase(e.text, tagPrefix);
                                         })
                          : stack_.rend();
    if (match == stack_.rend()) {
        const std::string endTag = "</" + std::string(tagPrefix.substr(1)) + ">";
        report(wording(MonitorMessageConstants::START_TAG_MISSING, {endTag}), pos, pos);
        return;
    }
    highlight(pos);
    const std::size_t j = static_cast<std::size_t>(stack_.rend() - match) - 1;
    while (stack_.size() > j + 1) {
        const Entry& top = stack_.back();
        if (top.type.getHtmlType() == HtmlTagTable::END_TAG_REQUIRED)
            report(wording(MonitorMessageConstants::END_TAG_REQUIRED, {top.text}), pos, pos);
        popEntry();
    }
    popEntry();
}

} // namespace tracewin
