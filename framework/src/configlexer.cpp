#include "panekit/configlexer.h"

#include <array>

namespace panekit {
namespace {

constexpr std::array<const char*, 26> keywords = {
    "tools",      "page",   "pane",      "link",      "view",    "null",     "vsplit",
    "hsplit",     "visual", "nonvisual", "models",    "default", "section",  "workbook",
    "controller", "minor",  "minimized", "maximized", "hidden",  "floating", "notebook",
    "focus",      "reject", "model",     "param",     "input"};

bool startsIdentifier(QChar c) {
    return c.isLetter() || c == u'_' || c == u'$';
}

bool continuesIdentifier(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'.' || c == u'-';
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

ConfigLexer::ConfigLexer(QString text) : input_(std::move(text)) {}

const char* ConfigLexer::keywordText(Token t) {
    return isKeyword(t) ? keywords[static_cast<std::size_t>(t)] : "";
}

QChar ConfigLexer::peek(qsizetype ahead) const {
    const qsizetype at = pos_ + ahead;
    return at < input_.size() ? input_.at(at) : QChar();
}

void ConfigLexer::skipBlanksAndComments() {
    while (pos_ < input_.size()) {
        const QChar c = input_.at(pos_);
        if (c == u'\n') {
            ++line_;
            ++pos_;
        } else if (c.isSpace()) {
            ++pos_;
        } else if (c == u'/' && peek(1) == u'/') {
            while (pos_ < input_.size() && input_.at(pos_) != u'\n')
                ++pos_;
        } else if (c == u'/' && peek(1) == u'*') {
            pos_ += 2;
            // An unclosed block comment runs to the end of the file.
            while (pos_ < input_.size() && !(input_.at(pos_) == u'*' && peek(1) == u'/')) {
                if (input_.at(pos_) == u'\n')
                    ++line_;
                ++pos_;
            }
            pos_ = qMin(pos_ + 2, input_.size());
        } else {
            return;
        }
    }
}

ConfigLexer::Token ConfigLexer::readString() {
    ++pos_; // opening quote
    while (pos_ < input_.size()) {
        const QChar c = input_.at(pos_);
        if (c == u'"') {
            ++pos_;
            return STRING;
        }
        if (c == u'\n' || c == u'\r')
            return BAD_STRING; // the line end is read again as a blank
        if (c == u'\\' && pos_ + 1 < input_.size()) {
            const QChar e = input_.at(pos_ + 1);
            if (e == u'\n' || e == u'\r') {
                ++pos_;
                return BAD_STRING;
            }
            text_ += e == u'n' ? QChar(u'\n') : e == u't' ? QChar(u'\t') : e;
            pos_ += 2;
            continue;
        }
        text_ += c;
        ++pos_;
    }
    return BAD_STRING;
}

ConfigLexer::Token ConfigLexer::next() {
    text_.clear();
    skipBlanksAndComments();
    tokenLine_ = line_;
    if (pos_ >= input_.size())
        return token_ = END;

    const QChar c = input_.at(pos_);
    const qsizetype start = pos_;
    if (c == u'"')
        return token_ = readString();
    if (isAsciiDigit(c)) {
        while (pos_ < input_.size() && isAsciiDigit(input_.at(pos_)))
            ++pos_;
        text_ = input_.mid(start, pos_ - start);
        return token_ = INTEGER;
    }
    if (startsIdentifier(c)) {
        while (pos_ < input_.size() && continuesIdentifier(input_.at(pos_)))
            ++pos_;
        text_ = input_.mid(start, pos_ - start);
        for (std::size_t k = 0; k < keywords.size(); ++k) {
            if (text_ == QLatin1String(keywords[k]))
                return token_ = static_cast<Token>(k);
        }
        return token_ = IDENTIFIER;
    }
    ++pos_;
    text_ = QString(c);
    switch (c.unicode()) {
    case u'{':
        return token_ = LBRACE;
    case u'}':
        return token_ = RBRACE;
    case u';':
        return token_ = SEMICOLON;
    case u':':
        return token_ = COLON;
    case u'=':
        return token_ = EQUALS;
    case u',':
        return token_ = COMMA;
    default:
        if (c.isHighSurrogate() && pos_ < input_.size() && input_.at(pos_).isLowSurrogate())
            text_ += input_.at(pos_++);
        return token_ = UNKNOWN;
    }
}

} // namespace panekit
