#include "tomcatrunner/jaspererrors.h"

#include "tracehook/decimal.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace tomcatrunner {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// ---- Text ----

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The text on one line: each run of blanks that holds a line break becomes one blank.
std::string oneLine(std::string_view text) {
    text = trimmed(text);
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t runEnd = i;
        bool breaks = false;
        while (runEnd < text.size() && isSpace(text[runEnd])) {
            breaks = breaks || text[runEnd] == '\n' || text[runEnd] == '\r';
            ++runEnd;
        }
        if (runEnd > i && breaks) {
            out += ' ';
            i = runEnd;
        } else if (runEnd > i) {
            out.append(text.substr(i, runEnd - i));
            i = runEnd;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Appends a code point as UTF-8; false for one that is no character.
bool appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return true;
}

// One character reference without its "&" and ";", decoded; false when it is none that
// Tomcat writes (it escapes & < > " ' / as named or numeric references).
bool appendReference(std::string& out, std::string_view name) {
    static constexpr std::pair<std::string_view, char> named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : named) {
        if (name == entity) {
            out += c;
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#')
        return false;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t cp = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        return false;
    return appendUtf8(out, cp);
}

std::string unescapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '&') {
            const std::size_t semi = text.find(';', i + 1);
            if (semi != npos && semi - i <= 10 &&
                appendReference(out, text.substr(i + 1, semi - i - 1))) {
                i = semi + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// ---- Tomcat's error page and Jasper's exception ----

// The <pre> sections of Tomcat's error page, unescaped: the exception, then each root
// cause. A section that the end of the body cuts short runs to that end.
std::vector<std::string> preSections(std::string_view body) {
    constexpr std::string_view open = "<pre>";
    constexpr std::string_view close = "</pre>";
    std::vector<std::string> sections;
    for (std::size_t at = body.find(open); at != npos;) {
        const std::size_t begin = at + open.size();
        const std::size_t end = body.find(close, begin);
        sections.push_back(unescapeHtml(body.substr(begin, end == npos ? npos : end - begin)));
        at = end == npos ? npos : body.find(open, end + close.size());
    }
    return sections;
}

// Whether the report shows the exception coming out of Jasper's translator or compiler,
// which sets compile errors apart from exceptions of a page that ran.
bool fromJaspersCompiler(const std::vector<std::string>& sections) {
    return std::any_of(sections.begin(), sections.end(), [](const std::string& s) {
        return s.find("\torg.apache.jasper.compiler.") != npos ||
               s.find("at org.apache.jasper.compiler.") != npos;
    });
}

// The message of an exception's text: what comes before its stack, which starts with a
// line that begins with a tab (a frame) or with Jasper's "Stacktrace:".
std::string_view messageOf(std::string_view exception) {
    for (std::size_t at = exception.find('\n'); at != npos; at = exception.find('\n', at + 1)) {
        const std::string_view rest = exception.substr(at + 1);
        if (rest.starts_with('\t') || rest.starts_with("Stacktrace:"))
            return exception.substr(0, at);
    }
    return exception;
}

bool removePrefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// Jasper writes "<" and ">" of tag names as "&lt;" and "&gt;" in its translation
// messages ("Unterminated [&lt;%=] tag"), so they show as text once more after the
// page's own escaping is undone.
std::string jspMessage(std::string_view text) {
    return replaceAll(replaceAll(oneLine(text), "&lt;", "<"), "&gt;", ">");
}

std::optional<int> parseNumber(std::string_view text) {
    return tracehook::parseDecimalInt32(text);
}

// "FILE (line: [L], column: [C]) " at the start of text: the place, and the text after it.
struct LeadingPlace {
    JasperPlace place;
    std::string_view rest;
};

std::optional<LeadingPlace> leadingPlace(std::string_view text) {
    constexpr std::string_view lineOpen = " (line: [";
    constexpr std::string_view columnOpen = "], column: [";
    constexpr std::string_view close = "])";
    const std::size_t fileEnd = text.find(lineOpen);
    if (fileEnd == npos || !text.starts_with('/'))
        return std::nullopt;
    const std::string_view file = text.substr(0, fileEnd);
    if (file.find('\n') != npos)
        return std::nullopt;
    std::string_view rest = text.substr(fileEnd + lineOpen.size());
    const std::size_t lineEnd = rest.find(columnOpen);
    if (lineEnd == npos)
        return std::nullopt;
    const std::optional<int> line = parseNumber(rest.substr(0, lineEnd));
    rest.remove_prefix(lineEnd + columnOpen.size());
    const std::size_t columnEnd = rest.find(close);
    if (columnEnd == npos)
        return std::nullopt;
    const std::optional<int> column = parseNumber(rest.substr(0, columnEnd));
    if (!line || !column || *line < 1 || *column < 0)
        return std::nullopt;
    rest.remove_prefix(columnEnd + close.size());
    removePrefix(rest, " ");
    // Jasper counts columns from 1 on a file's first line and from 0 on the others.
    const int characters = *line == 1 ? std::max(0, *column - 1) : *column;
    return LeadingPlace{{std::string(file), *line, characters}, rest};
}

// A JSP error with its place: "F (line: [L], column: [C]) message", where an error in a
// statically included file is preceded by the place of each include directive.
std::optional<JasperError> placedJspError(std::string_view text) {
    std::optional<LeadingPlace> first = leadingPlace(text);
    if (!first)
        return std::nullopt;
    std::vector<JasperPlace> places{first->place};
    std::string_view message = first->rest;
    while (std::optional<LeadingPlace> next = leadingPlace(message)) {
        places.push_back(next->place);
        message = next->rest;
    }
    JasperError error;
    error.kind = JasperErrorKind::Jsp;
    error.file = places.back().file;
    error.line = places.back().line;
    error.column = places.back().column;
    error.message = jspMessage(message);
    places.pop_back();
    error.includedFrom = std::move(places);
    return error;
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == npos)
            end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

// A line of the numbered excerpt that Jasper shows below a Java error: "12: text".
bool isExcerptLine(std::string_view line) {
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    return digits > 0 && digits < line.size() && line[digits] == ':';
}

// "An error occurred at line: [N] in the jsp file: [F]" or "... in the generated java
// file: [P]", then the compiler's message, then an excerpt of numbered lines.
std::optional<JasperError> javaErrorHead(std::string_view line) {
    constexpr std::string_view head = "An error occurred at line: [";
    constexpr std::string_view inJsp = "] in the jsp file: [";
    constexpr std::string_view inJava = "] in the generated java file: [";
    if (!removePrefix(line, head) || !line.ends_with(']'))
        return std::nullopt;
    const std::size_t numberEnd = line.find(']');
    const std::optional<int> number = parseNumber(line.substr(0, numberEnd));
    if (!number || *number < 1)
        return std::nullopt;
    std::string_view rest = line.substr(numberEnd);
    rest.remove_suffix(1);
    JasperError error;
    error.kind = JasperErrorKind::Java;
    if (removePrefix(rest, inJsp)) {
        error.file = std::string(rest);
        error.line = *number;
    } else if (removePrefix(rest, inJava)) {
        error.generated = JasperPlace{std::string(rest), *number, std::nullopt};
    } else {
        return std::nullopt;
    }
    return error;
}

// The errors of "Unable to compile class for JSP:": one block per compiler error.
std::vector<JasperError> javaErrors(std::string_view report) {
    std::vector<JasperError> errors;
    const std::vector<std::string_view> lines = linesOf(report);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::optional<JasperError> error = javaErrorHead(lines[i]);
        if (!error)
            continue;
        std::string message;
        while (i + 1 < lines.size() && !trimmed(lines[i + 1]).empty() &&
               !isExcerptLine(lines[i + 1]) && !javaErrorHead(lines[i + 1])) {
            message += lines[++i];
            message += '\n';
        }
        error->message = oneLine(message);
        errors.push_back(std::move(*error));
    }
    if (errors.empty()) { // a failure Jasper gives without a line: keep what it says
        JasperError error;
        error.kind = JasperErrorKind::Java;
        error.message = oneLine(report);
        errors.push_back(std::move(error));
    }
    return errors;
}

std::vector<JasperError> errorsIn(std::string_view message) {
    message = trimmed(message);
    while (removePrefix(message, "org.apache.jasper.JasperException:"))
        message = trimmed(message);
    if (message.starts_with("An exception occurred processing ["))
        return {}; // the page compiled, and failed while it ran
    if (message.starts_with("Unable to compile class for JSP"))
        return javaErrors(message);
    if (std::optional<JasperError> placed = placedJspError(message))
        return {std::move(*placed)};
    JasperError error;
    if (removePrefix(message, "jakarta.el.ELException:") ||
        removePrefix(message, "javax.el.ELException:")) {
        error.kind = JasperErrorKind::El;
        error.message = oneLine(message);
    } else {
        error.kind = JasperErrorKind::Jsp;
        error.message = jspMessage(message);
    }
    if (error.message.empty())
        error.message = "The page could not be translated";
    return {std::move(error)};
}

} // namespace

std::vector<JasperError> JasperErrorReader::fromErrorPage(std::string_view body) {
    const std::vector<std::string> sections = preSections(body);
    if (sections.empty() || !fromJaspersCompiler(sections))
        return {};
    return errorsIn(messageOf(sections.front()));
}

std::optional<std::string> JasperErrorReader::errorPageMessage(std::string_view body) {
    constexpr std::string_view label = "<b>Message</b>";
    const std::size_t at = body.find(label);
    if (at == npos)
        return std::nullopt;
    std::string_view rest = body.substr(at + label.size());
    rest = rest.substr(0, rest.find("</p>"));
    return oneLine(unescapeHtml(rest));
}

} // namespace tomcatrunner
