#pragma once

#include <QString>
#include <QStringView>

namespace panekit {

// Splits configuration text into tokens. Keywords are reserved and lower case; block
// comments and line comments are skipped; line numbers count from 1.
class ConfigLexer {
public:
    enum Token : int {
        TOOLS = 0,
        PAGE,
        PANE,
        LINK,
        VIEW,
        NULL_,
        VSPLIT,
        HSPLIT,
        VISUAL,
        NONVISUAL,
        MODELS,
        DEFAULT,
        SECTION,
        WORKBOOK,
        CONTROLLER,
        MINOR,
        MINIMIZED,
        MAXIMIZED,
        HIDDEN,
        FLOATING,
        NOTEBOOK,
        FOCUS,
        REJECT,
        MODEL,
        PARAM,
        INPUT = 25,
        LBRACE = 50,
        RBRACE,
        SEMICOLON,
        COLON,
        EQUALS,
        COMMA = 55,
        INTEGER = 60,
        IDENTIFIER = 61,
        STRING = 62,
        BAD_STRING = 97, // a string cut by a line end or the end of the file
        UNKNOWN = 98,    // a character that starts no token
        END = 99,
    };

    explicit ConfigLexer(QString text);

    // Reads the next token and returns it; after END every call returns END again.
    Token next();

    Token token() const { return token_; }
    // The token's text: a string without its quotes and with escapes resolved.
    const QString& text() const { return text_; }
    int line() const { return tokenLine_; }

    static bool isKeyword(Token t) { return t >= TOOLS && t <= INPUT; }
    static const char* keywordText(Token t);

private:
    QChar peek(qsizetype ahead = 0) const;
    void skipBlanksAndComments();
    Token readString();

    QString input_;
    qsizetype pos_ = 0;
    int line_ = 1;
    int tokenLine_ = 1;
    Token token_ = END;
    QString text_;
};

} // namespace panekit
