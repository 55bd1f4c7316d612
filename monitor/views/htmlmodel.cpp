#include "views/htmlmodel.h"

#include "core/asciitext.h"
#include "core/utf16text.h"

#include <QLatin1StringView>
#include <algorithm>
#include <array>
#include <type_traits>

namespace tracewin {
namespace {

// The code units that end a run of text: line breaks and the brackets of tags.
constexpr std::array<bool, 128> kDelimiters = [] {
    std::array<bool, 128> table{};
    table['\n'] = table['\f'] = table['<'] = table['>'] = true;
    return table;
}();

bool isDelimiter(char c) {
    const auto unit = static_cast<unsigned char>(c);
    return unit < kDelimiters.size() && kDelimiters[unit];
}

bool isDelimiter(char16_t c) {
    return c < kDelimiters.size() && kDelimiters[c];
}

template <class Char> bool onlySpaces(std::basic_string_view<Char> token) {
    return std::all_of(token.begin(), token.end(), [](Char c) { return c == Char(' '); });
}

// The text with its carriage returns and tabs as blanks, as they show: the text itself,
// or a copy of it in `buffer`.
template <class Char>
std::basic_string_view<Char> withBlanks(std::basic_string_view<Char> text,
                                        std::basic_string<Char>& buffer) {
    auto replaced = [](Char c) {
        return c == Char('\r') || c == Char('\t');
    };
    if (std::none_of(text.begin(), text.end(), replaced))
        return text;
    buffer = text;
    std::replace_if(buffer.begin(), buffer.end(), replaced, Char(' '));
    return buffer;
}

QLatin1StringView stored(std::string_view ascii) {
    return QLatin1StringView(ascii.data(), static_cast<qsizetype>(ascii.size()));
}

QStringView stored(std::u16string_view text) {
    return QStringView(text.data(), static_cast<qsizetype>(text.size()));
}

void appendAsUtf8(std::string& to, std::string_view ascii) {
    to += ascii;
}

void appendAsUtf8(std::string& to, std::u16string_view text) {
    appendUtf8(to, text);
}

std::u16string_view unitsOf(const QString& text) {
    return {QStringView(text).utf16(), static_cast<std::size_t>(text.size())};
}

} // namespace

void HtmlModel::clear() {
    // Lines a snapshot holds stay with it.
    if (text_.use_count() == 1)
        text_->clear();
    else
        text_ = std::make_shared<TextLines>();
    count_ = 0;
    lastTokenIsLineFeed = false;
    inTag_ = false;
    tagText_.clear();
}

TextLines& HtmlModel::writable() {
    if (text_->size() != count_) {
        if (text_.use_count() == 1)
            text_->truncate(count_);
        else
            text_ = text_->copy(count_);
    }
    return *text_;
}

void HtmlModel::restoreText(const KeptText& text) {
    text_ = text.store ? text.store : std::make_shared<TextLines>();
    count_ = std::min(text.lines, text_->size());
}

HtmlTagPosition HtmlModel::addText(const QString& input, const TagListener& onTag) {
    auto toListener = [&onTag](std::string_view tagText, const HtmlTagPosition& position) {
        if (onTag)
            onTag(QString::fromUtf8(tagText.data(), static_cast<qsizetype>(tagText.size())),
                  position);
    };
    std::u16string buffer;
    return addUnits(withBlanks(unitsOf(input), buffer), toListener);
}

HtmlTagPosition HtmlModel::addText(std::string_view utf8, HtmlTags& tags) {
    auto toTags = [&tags](std::string_view tagText, const HtmlTagPosition& position) {
        tags.push_back(HtmlTag{tagText, position});
    };
    if (!isAscii(utf8)) {
        const QString decoded = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        std::u16string buffer;
        return addUnits(withBlanks(unitsOf(decoded), buffer), toTags);
    }
    std::string buffer;
    return addUnits(withBlanks(utf8, buffer), toTags);
}

template <class Char, class Sink>
HtmlTagPosition HtmlModel::addUnits(std::basic_string_view<Char> text, Sink& sink) {
    TextLines& store = writable();
    int startLine = 1, startPos = 0, endLine = 0, endPos = 0;
    bool tagClosed = false;

    // Tokens that follow each other in the text go to the last line in one append.
    int storedLength = lastLineLength();
    std::size_t pendingFrom = 0, pendingTo = 0;
    auto lineLength = [&] {
        return storedLength + static_cast<int>(pendingTo - pendingFrom);
    };
    auto flush = [&] {
        if (pendingTo > pendingFrom) {
            store.appendToLast(stored(text.substr(pendingFrom, pendingTo - pendingFrom)));
            storedLength += static_cast<int>(pendingTo - pendingFrom);
        }
        pendingFrom = pendingTo = 0;
    };
    auto append = [&](std::size_t from, std::size_t to) {
        if (pendingTo != from || pendingTo == pendingFrom) {
            flush();
            pendingFrom = from;
        }
        pendingTo = to;
    };

    // A tag's text is the input from tagFrom on while it runs unchanged in the input; what
    // it cannot take from there (the part from an earlier call, a line break written as a
    // blank) is kept in tagText_.
    constexpr std::size_t kNoTag = std::basic_string_view<Char>::npos;
    std::size_t tagFrom = inTag_ ? 0 : kNoTag;
    auto keepTagText = [&](std::size_t to) {
        if (inTag_ && tagFrom != kNoTag && to > tagFrom)
            appendAsUtf8(tagText_, text.substr(tagFrom, to - tagFrom));
    };

    // Hands a complete tag over: the part of it in this text, after what tagText_ holds.
    auto handOver = [&](std::basic_string_view<Char> tail, const HtmlTagPosition& pos) {
        if constexpr (std::is_same_v<Char, char>) {
            // An ASCII tag written in one piece is handed over where it stands.
            if (tagText_.empty()) {
                sink(tail, pos);
                return;
            }
        }
        appendAsUtf8(tagText_, tail);
        sink(std::string_view(tagText_), pos);
        tagText_.clear();
    };

    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t from = i;
        std::size_t end = i + 1;
        if (!isDelimiter(text[i])) {
            while (end < n && !isDelimiter(text[end]))
                ++end;
        }
        const std::basic_string_view<Char> token = text.substr(from, end - from);
        i = end;

        // A whole tag on the line, "<", a name and its attributes, ">", is taken in one
        // step: it is what the tokens one by one would give.
        if (!inTag_ && count_ > 0 && token.size() == 1 && token.front() == Char('<')) {
            std::size_t close = end;
            while (close < n && !isDelimiter(text[close]))
                ++close;
            if (close > end && close < n && text[close] == Char('>') &&
                !onlySpaces(text.substr(end, close - end))) {
                lastTokenIsLineFeed = false;
                startLine = shownLines();
                startPos = lineLength() + 1;
                i = close + 1;
                append(from, i);
                endLine = shownLines();
                endPos = lineLength();
                tagClosed = true;
                handOver(text.substr(from, i - from),
                         HtmlTagPosition{startLine, endLine, startPos, endPos});
                continue;
            }
        }

        if (onlySpaces(token)) {
            keepTagText(from); // blanks alone are not part of the tag's text
            tagFrom = end;
            continue;
        }
        const Char first = token.front();
        const bool single = token.size() == 1;
        if (single && (first == Char('\n') || first == Char('\f'))) {
            if (!lastTokenIsLineFeed) {
                lastTokenIsLineFeed = true;
                if (count_ > 0)
                    flush();
                store.appendLine();
                ++count_;
                storedLength = 0;
            }
            if (inTag_) {
                keepTagText(from);
                tagText_ += ' ';
                tagFrom = end;
            }
            continue;
        }
        lastTokenIsLineFeed = false;
        const bool opens = single && first == Char('<');
        const bool closes = single && first == Char('>');
        if (count_ == 0) {
            store.appendLine(stored(token));
            ++count_;
            storedLength = static_cast<int>(token.size());
            startLine = 1;
            startPos = 0;
        } else {
            if (opens) {
                startLine = shownLines();
                startPos = lineLength() + 1;
            }
            append(from, end);
            if (closes) {
                endLine = shownLines();
                endPos = lineLength();
                tagClosed = true;
            }
        }

        if (opens) {
            inTag_ = true;
            tagText_.clear();
            tagFrom = from;
            tagStart_ = HtmlTagPosition{shownLines(), 0, lineLength(), 0};
        } else if (inTag_ && closes) {
            inTag_ = false;
            HtmlTagPosition pos = tagStart_;
            pos.endLine = shownLines();
            pos.endPos = lineLength();
            handOver(text.substr(tagFrom, end - tagFrom), pos);
            tagFrom = kNoTag;
        }
    }
    keepTagText(n);
    flush();
    if (!tagClosed && count_ > 0) {
        endLine = shownLines();
        endPos = lastLineLength();
    }
    return HtmlTagPosition{startLine, endLine, startPos, endPos};
}

} // namespace tracewin
