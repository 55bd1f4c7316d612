#include "pagerunner/scriptletanalyzer.h"

#include "pagerunner/jsptext.h"

#include <charconv>
#include <regex>

namespace pagerunner {
namespace {

// Longer lines are not searched for loop headers or throws: the standard regex engine
// recurses per character, and such lines are data, not control flow.
constexpr std::size_t maxPatternLine = 2000;

std::string_view trim(std::string_view s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n\f");
    if (b == std::string_view::npos)
        return {};
    const std::size_t e = s.find_last_not_of(" \t\r\n\f");
    return s.substr(b, e - b + 1);
}

std::string withoutBlanks(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t')
            out += c;
    return out;
}

std::optional<std::int64_t> stepOf(const std::string& update, const std::string& var) {
    if (update == var + "++" || update == "++" + var)
        return 1;
    if (update == var + "--" || update == "--" + var)
        return -1;
    for (const char* op : {"+=", "-="}) {
        const std::string prefix = var + op;
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

std::string unescapeJavaString(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

} // namespace

std::optional<CountedLoop> ScriptletAnalyzer::parseLoopHeader(std::string_view code) {
    code = trim(code);
    if (code.size() > maxPatternLine || code.substr(0, 3) != "for")
        return std::nullopt;
    static const std::regex header(
        R"(^for\s*\(\s*(?:int|long|short|byte)\s+([A-Za-z_]\w*)\s*=\s*([^;]+?)\s*;\s*([A-Za-z_]\w*)\s*(<=|<|>=|>)\s*([^;]+?)\s*;\s*([^)]+?)\s*\)\s*\{)");
    std::cmatch m;
    if (!std::regex_search(code.data(), code.data() + code.size(), m, header))
        return std::nullopt;
    CountedLoop loop;
    loop.variable = m[1].str();
    if (m[3].str() != loop.variable)
        return std::nullopt;
    loop.from = m[2].str();
    loop.to = m[5].str();
    const std::string cmp = m[4].str();
    loop.compare = cmp == "<"    ? CountedLoop::Compare::Less
                   : cmp == "<=" ? CountedLoop::Compare::LessEqual
                   : cmp == ">"  ? CountedLoop::Compare::Greater
                                 : CountedLoop::Compare::GreaterEqual;
    std::optional<std::int64_t> step = stepOf(withoutBlanks(m[6].str()), loop.variable);
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
    if (code.size() > maxPatternLine || code.find("throw") == std::string_view::npos)
        return std::nullopt;
    static const std::regex thrown(
        R"(\bthrow\s+new\s+([A-Za-z_][\w.]*)\s*\(\s*(?:\"((?:[^\"\\]|\\.)*)\")?)");
    std::cmatch m;
    if (!std::regex_search(code.data(), code.data() + code.size(), m, thrown))
        return std::nullopt;
    std::string text = m[1].str();
    if (m[2].matched)
        text += ": " + unescapeJavaString(m[2].str());
    return text;
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
