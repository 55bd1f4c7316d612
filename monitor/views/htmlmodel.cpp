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
    lines_.clear();
    lastTokenIsLineFeed = false;
    inTag_ = false;
    tagText_.clear();
}

HtmlTagPosition HtmlModel::addText(const QString& input, const TagListener& onTag) {
    QString text = input;
    if (text.contains(u'\r') || text.contains(u'\t')) {
        for (QChar& c : text) {
            if (c == u'\r' || c == u'\t')
                c = u' ';
        }
    }
    int startLine = 1, startPos = 0, endLine = 0, endPos = 0;
    bool tagClosed = false;

    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype end = i + 1;
        if (!isDelimiter(text[i])) {
            while (end < n && !isDelimiter(text[end]))
                ++end;
        }
        const QStringView token = QStringView(text).mid(i, end - i);
        i = end;

        if (onlySpaces(token))
            continue;
        if (token == u"\n" || token == u"\f") {
            if (!lastTokenIsLineFeed) {
                lastTokenIsLineFeed = true;
                if (!lines_.empty())
                    lines_.back()->squeeze();
                lines_.push_back(newLine(QString()));
            }
            if (inTag_)
                tagText_ += u' ';
            continue;
        }
        lastTokenIsLineFeed = false;
        const bool opens = token == u"<";
        const bool closes = token == u">";
        if (lines_.empty()) {
            lines_.push_back(newLine(token.toString()));
            startLine = 1;
            startPos = 0;
        } else {
            if (opens) {
                startLine = lineCount();
                startPos = lastLineLength() + 1;
            }
            lines_.back()->appendText(token);
            if (closes) {
                endLine = lineCount();
                endPos = lastLineLength();
                tagClosed = true;
            }
        }

        if (opens) {
            inTag_ = true;
            tagText_ = QStringLiteral("<");
            tagStart_ = HtmlTagPosition{lineCount(), 0, lastLineLength(), 0};
        } else if (inTag_) {
            tagText_ += token;
            if (closes) {
                inTag_ = false;
                HtmlTagPosition pos = tagStart_;
                pos.endLine = lineCount();
                pos.endPos = lastLineLength();
                if (onTag)
                    onTag(tagText_, pos);
                tagText_.clear();
            }
        }
    }
    if (!tagClosed && !lines_.empty()) {
        endLine = lineCount();
        endPos = lastLineLength();
    }
    return HtmlTagPosition{startLine, endLine, startPos, endPos};
}

} // namespace tracewin
