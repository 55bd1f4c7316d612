#include "views/htmlmodel.h"

namespace tracewin {
namespace {

bool isDelimiter(QChar c) {
    return c == u'\n' || c == u'\f' || c == u'<' || c == u'>';
}

bool onlySpaces(QStringView token) {
    for (QChar c : token) {
        if (c != u' ')
            return false;
    }
    return true;
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
    TextLines& store = writable();
    QString text = input;
    if (text.contains(u'\r') || text.contains(u'\t')) {
        for (QChar& c : text) {
            if (c == u'\r' || c == u'\t')
                c = u' ';
        }
    }
    int startLine = 1, startPos = 0, endLine = 0, endPos = 0;
    bool tagClosed = false;

    // Tokens that follow each other in the text go to the last line in one append.
    qsizetype pendingFrom = 0, pendingTo = 0;
    auto lineLength = [&] {
        return lastLineLength() + static_cast<int>(pendingTo - pendingFrom);
    };
    auto flush = [&] {
        if (pendingTo > pendingFrom)
            store.appendToLast(QStringView(text).mid(pendingFrom, pendingTo - pendingFrom));
        pendingFrom = pendingTo = 0;
    };
    auto append = [&](qsizetype from, qsizetype to) {
        if (pendingTo != from || pendingTo == pendingFrom) {
            flush();
            pendingFrom = from;
        }
        pendingTo = to;
    };

    // A tag's text is the input from tagFrom on while it runs unchanged in the input; what
    // it cannot take from there (the part from an earlier call, a line break written as a
    // blank) is kept in tagText_.
    qsizetype tagFrom = inTag_ ? 0 : -1;
    auto keepTagText = [&](qsizetype to) {
        if (inTag_ && tagFrom >= 0 && to > tagFrom)
            tagText_ += QStringView(text).mid(tagFrom, to - tagFrom);
    };

    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype from = i;
        qsizetype end = i + 1;
        if (!isDelimiter(text[i])) {
            while (end < n && !isDelimiter(text[end]))
                ++end;
        }
        const QStringView token = QStringView(text).mid(i, end - i);
        i = end;

        if (onlySpaces(token)) {
            keepTagText(from); // blanks alone are not part of the tag's text
            tagFrom = end;
            continue;
        }
        const QChar first = token.front();
        const bool single = token.size() == 1;
        if (single && (first == u'\n' || first == u'\f')) {
            if (!lastTokenIsLineFeed) {
                lastTokenIsLineFeed = true;
                if (count_ > 0)
                    flush();
                store.appendLine();
                ++count_;
            }
            if (inTag_) {
                keepTagText(from);
                tagText_ += u' ';
                tagFrom = end;
            }
            continue;
        }
        lastTokenIsLineFeed = false;
        const bool opens = single && first == u'<';
        const bool closes = single && first == u'>';
        if (count_ == 0) {
            store.appendLine(token);
            ++count_;
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
            if (onTag) {
                const QStringView tail = QStringView(text).mid(tagFrom, end - tagFrom);
                if (tagText_.isEmpty()) {
                    onTag(tail, pos);
                } else {
                    tagText_ += tail;
                    onTag(tagText_, pos);
                }
            }
            tagText_.clear();
            tagFrom = -1;
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
