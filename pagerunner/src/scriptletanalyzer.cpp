#include "pagerunner/scriptletanalyzer.h"

#include "pagerunner/jsptext.h"

#include <cctype>
#include <charconv>

namespace pagerunner {
namespace {

bool isIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
bool isIdentPart(char c) {
    return isIdentStart(c) || std::isdigit(static_cast<unsigned char>(c));
}

std::string_view trim(std::string_view s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n\f");
    if (b == std::string_view::npos)
        return {};
    const std::size_t e = s.find_last_not_of(" \t\r\n\f");
    return s.substr(b, e - b + 1);
}

// A forward reader over one line of code.
class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}

    bool atEnd() const { return i_ >= s_.size(); }
    std::size_t position() const { return i_; }
    // Skips blanks; true when there were any.
    bool blanks() {
        const std::size_t from = i_;
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t'))
            ++i_;
        return i_ > from;
    }
    bool take(std::string_view t) {
        blanks();
        if (s_.substr(i_, t.size()) != t)
            return false;
        i_ += t.size();
        return true;
    }
    // A Java name, dots allowed when qualified is true.
    std::string_view name(bool qualified = false) {
        blanks();
        const std::size_t from = i_;
        if (i_ >= s_.size() || !isIdentStart(s_[i_]))
            return {};
        while (i_ < s_.size() && (isIdentPart(s_[i_]) || (qualified && s_[i_] == '.')))
            ++i_;
        return s_.substr(from, i_ - from);
    }
    // The trimmed text up to the next stop character, which is consumed.
    std::optional<std::string_view> until(char stop) {
        const std::size_t at = s_.find(stop, i_);
        if (at == std::string_view::npos)
            return std::nullopt;
        std::string_view text = trim(s_.substr(i_, at - i_));
        i_ = at + 1;
        return text;
    }
    // A string literal's text with its escapes read.
    std::optional<std::string> stringLiteral() {
        if (!take("\""))
            return std::nullopt;
        std::string out;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c == '\\' && i_ < s_.size()) {
                const char e = s_[i_++];
                c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            }
            out += c;
        }
        if (i_ >= s_.size())
            return std::nullopt;
        ++i_;
        return out;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

// Whether code[i] lies inside a string or character literal. quote carries the open
// literal's quote from one call to the next; an escaped character is stepped over.
bool withinLiteral(std::string_view code, std::size_t& i, char& quote) {
    const char ch = code[i];
    if (quote) {
        if (ch == '\\')
            ++i;
        else if (ch == quote)
            quote = 0;
        return true;
    }
    if (ch == '"' || ch == '\'') {
        quote = ch;
        return true;
    }
    return false;
}

std::string withoutBlanks(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t')
            out += c;
    return out;
}

std::optional<std::int64_t> stepOf(const std::string& update, std::string_view var) {
    const std::string v(var);
    if (update == v + "++" || update == "++" + v)
        return 1;
    if (update == v + "--" || update == "--" + v)
        return -1;
    for (const char* op : {"+=", "-="}) {
        const std::string prefix = v + op;
        if (update.rfind(prefix, 0) != 0)
            continue;
        const std::string_view digits = std::string_view(update).substr(prefix.size());
        std::int64_t k = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || k <= 0)
            return std::nullopt;
        return op[0] == '+' ? k : -k;
    }
    return std::nullopt;
}

} // namespace

std::optional<CountedLoop> ScriptletAnalyzer::parseLoopHeader(std::string_view code) {
    Cursor c(trim(code));
    if (!c.take("for") || !c.take("("))
        return std::nullopt;
    const std::string_view type = c.name();
    if (type != "int" && type != "long" && type != "short" && type != "byte")
        return std::nullopt;
    CountedLoop loop;
    loop.variable = std::string(c.name());
    if (loop.variable.empty() || !c.take("="))
        return std::nullopt;
    std::optional<std::string_view> from = c.until(';');
    if (!from || from->empty() || c.name() != loop.variable)
        return std::nullopt;
    if (c.take("<="))
        loop.compare = CountedLoop::Compare::LessEqual;
    else if (c.take("<"))
        loop.compare = CountedLoop::Compare::Less;
    else if (c.take(">="))
        loop.compare = CountedLoop::Compare::GreaterEqual;
    else if (c.take(">"))
        loop.compare = CountedLoop::Compare::Greater;
    else
        return std::nullopt;
    std::optional<std::string_view> to = c.until(';');
    std::optional<std::string_view> update = to ? c.until(')') : std::nullopt;
    if (!to || to->empty() || !update || !c.take("{"))
        return std::nullopt;
    loop.from = std::string(*from);
    loop.to = std::string(*to);
    std::optional<std::int64_t> step = stepOf(withoutBlanks(*update), loop.variable);
    if (!step)
        return std::nullopt;
    const bool upwards = loop.compare == CountedLoop::Compare::Less ||
                         loop.compare == CountedLoop::Compare::LessEqual;
    if ((*step > 0) != upwards) // a loop that never reaches its bound is not counted
        return std::nullopt;
    loop.step = *step;
    return loop;
}

std::optional<std::string> ScriptletAnalyzer::parseThrow(std::string_view code) {
    for (std::size_t at = code.find("throw"); at != std::string_view::npos;
         at = code.find("throw", at + 1)) {
        if (at > 0 && isIdentPart(code[at - 1]))
            continue;
        Cursor c(code.substr(at + 5));
        if (!c.blanks() || !c.take("new") || !c.blanks())
            continue;
        const std::string_view type = c.name(true);
        if (type.empty() || !c.take("("))
            continue;
        std::string text(type);
        if (std::optional<std::string> message = c.stringLiteral())
            text += ": " + *message;
        return text;
    }
    return std::nullopt;
}

std::vector<Assignment> ScriptletAnalyzer::parseAssignments(std::string_view code) {
    // The statements of the code: up to each ";" outside literals.
    std::vector<std::string_view> statements;
    char quote = 0;
    std::size_t from = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char ch = code[i];
        if (withinLiteral(code, i, quote))
            continue;
        if (ch == '/' && i + 1 < code.size() && code[i + 1] == '/') {
            break; // a line comment ends the code
        } else if (ch == ';') {
            statements.push_back(code.substr(from, i - from));
            from = i + 1;
        } else if (ch == '{' || ch == '}') {
            from = i + 1; // a block's brace is not part of the statement after it
        }
    }
    std::vector<Assignment> out;
    for (std::string_view statement : statements) {
        Cursor c(trim(statement));
        std::string_view first = c.name(true);
        if (first.empty() || first == "return" || first == "throw" || first == "for")
            continue;
        std::string type;
        std::string_view name = first;
        // "Type name =" or "Type[] name =" or "name =".
        std::string arrays;
        while (c.take("[]"))
            arrays += "[]";
        if (std::string_view second = c.name(); !second.empty()) {
            type = std::string(first) + arrays;
            name = second;
        } else if (!arrays.empty() || first.find('.') != std::string_view::npos) {
            continue; // an array element or a field: not a local
        }
        if (!c.take("=") || c.take("="))
            continue;
        const std::string_view expression = trim(trim(statement).substr(c.position()));
        if (expression.empty())
            continue;
        out.push_back({type, std::string(name), std::string(expression)});
    }
    return out;
}

std::vector<PrintCall> ScriptletAnalyzer::parsePrints(std::string_view code) {
    std::vector<PrintCall> calls;
    for (std::size_t at = code.find("out."); at != std::string_view::npos;
         at = code.find("out.", at + 1)) {
        if (at > 0 && (isIdentPart(code[at - 1]) || code[at - 1] == '.'))
            continue;
        Cursor c(code.substr(at + 4));
        const std::string_view method = c.name();
        if ((method != "print" && method != "println" && method != "write") || !c.take("("))
            continue;
        // The argument runs to the parenthesis that closes the call, outside literals.
        const std::string_view rest = code.substr(at + 4 + c.position());
        int depth = 1;
        char quote = 0;
        std::size_t i = 0;
        for (; i < rest.size() && depth > 0; ++i) {
            const char ch = rest[i];
            if (withinLiteral(rest, i, quote))
                continue;
            if (ch == '(') {
                ++depth;
            } else if (ch == ')') {
                --depth;
            }
        }
        if (depth != 0)
            continue;
        calls.push_back({std::string(trim(rest.substr(0, i - 1))), method == "println"});
    }
    return calls;
}

void ScriptletAnalyzer::feed(std::size_t statement, int javaLine, std::string_view javaLineText,
                             std::size_t codeOffset) {
    const bool header =
        statement != noStatement && parseLoopHeader(javaLineText.substr(codeOffset)).has_value();
    bool loopBraceTaken = false;
    char quote = 0;
    for (std::size_t i = codeOffset; i < javaLineText.size(); ++i) {
        const char c = javaLineText[i];
        const char next = i + 1 < javaLineText.size() ? javaLineText[i + 1] : '\0';
        if (inBlockComment_) {
            if (c == '*' && next == '/') {
                inBlockComment_ = false;
                ++i;
            }
            continue;
        }
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && next == '/') {
            break;
        } else if (c == '/' && next == '*') {
            inBlockComment_ = true;
            ++i;
        } else if (c == '{' || c == '}') {
            const int column = 1 + JspText::columnsOf(javaLineText.substr(0, i));
            if (c == '{') {
                const bool opensLoop = header && !loopBraceTaken;
                loopBraceTaken = true;
                open_.push_back(
                    {statement, javaLine, column, std::string(javaLineText), opensLoop});
            } else if (open_.empty()) {
                errors_.push_back({javaLine, column, "error: '}' without a matching '{'",
                                   std::string(javaLineText)});
            } else {
                const OpenBrace brace = open_.back();
                open_.pop_back();
                if (brace.opensLoop && brace.statement != statement && statement != noStatement)
                    loops_.push_back({brace.statement, statement});
            }
        }
    }
    // A string literal cannot span lines; an unclosed one ends with its line.
}

void ScriptletAnalyzer::finish() {
    for (const OpenBrace& brace : open_)
        errors_.push_back({brace.javaLine, brace.javaColumn,
                           "error: '{' is never closed (reached end of file while parsing)",
                           brace.javaLineText});
    open_.clear();
}

std::string ScriptletAnalyzer::javaCompilerMessage(const std::string& javaPath,
                                                   const std::vector<BraceError>& errors) {
    std::string out;
    for (const BraceError& e : errors) {
        out += javaPath + ":" + std::to_string(e.javaLine) + ": " + e.message + "\n";
        out += e.javaLineText + "\n";
        out += std::string(static_cast<std::size_t>(e.javaColumn - 1), ' ') + "^\n";
    }
    out += std::to_string(errors.size()) + (errors.size() == 1 ? " error\n" : " errors\n");
    return out;
}

} // namespace pagerunner
