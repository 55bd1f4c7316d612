#include "tomcatrunner/jaspererrors.h"

#include "jdwp/utf8.h"
#include "tracehook/compileerrorcodes.h"
#include "tracehook/decimal.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/pageruntimerecords.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tomcatrunner {
namespace {

namespace fs = std::filesystem;
using tracehook::CompileErrorCodes;
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
bool appendCharacter(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    jdwp::appendUtf8(out, cp);
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
    return appendCharacter(out, cp);
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

// ---- Places in a JSP file, as Jasper counts them and as the monitor does ----

struct MonitorPlace {
    int line = 1;
    int column = 1; // 1-based
};

struct MonitorSpan {
    MonitorPlace start;
    MonitorPlace end; // exclusive; column 0 with the next line for "to the line's end"

    static MonitorSpan wholeLine(int line) {
        return {{line, 1}, {line == INT_MAX ? line : line + 1, 0}};
    }
    static MonitorSpan fromPlaceToLineEnd(MonitorPlace p) {
        return {p, {p.line == INT_MAX ? p.line : p.line + 1, 0}};
    }
};

int clampedInt(std::int64_t n) {
    return static_cast<int>(std::clamp<std::int64_t>(n, INT_MIN, INT_MAX));
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

// The page directives of a page ("<%@ page ... %>", "<jsp:directive.page ... />"), in lower
// case: where a page says its encoding. Template text such as an HTML <meta charset> does
// not count for Jasper.
std::string pageDirectives(std::string_view text) {
    std::string directives;
    for (const auto& [open, close] : {std::pair<std::string_view, std::string_view>{"<%@", "%>"},
                                      {"<jsp:directive.page", "/>"}}) {
        for (std::size_t at = text.find(open); at != npos; at = text.find(open, at + 1)) {
            const std::size_t begin = at + open.size();
            const std::size_t end = std::min(text.find(close, begin), text.size());
            const std::string directive = lowerCase(trimmed(text.substr(begin, end - begin)));
            if (open != "<%@" || directive.starts_with("page"))
                directives += directive + '\n';
        }
    }
    return directives;
}

// Whether Jasper decodes the page as UTF-8 rather than its default ISO-8859-1: a byte
// order mark, XML syntax, a pageEncoding of UTF-8 or else a contentType charset of UTF-8
// in the page's directives. Encodings set in web.xml are not looked at.
bool decodedAsUtf8(std::string_view text, const fs::path& file) {
    if (text.starts_with("\xEF\xBB\xBF"))
        return true;
    const std::string ext = file.extension().string();
    if (ext == ".jspx" || ext == ".tagx")
        return true;
    const std::string directives = pageDirectives(text);
    auto valueOf = [&](std::string_view name) -> std::optional<std::string_view> {
        const std::size_t at = directives.find(name);
        if (at == npos)
            return std::nullopt;
        std::string_view rest = std::string_view(directives).substr(at + name.size());
        while (!rest.empty() && (isSpace(rest.front()) || rest.front() == '=' ||
                                 rest.front() == '"' || rest.front() == '\''))
            rest.remove_prefix(1);
        return rest;
    };
    auto isUtf8 = [](std::string_view v) {
        return v.starts_with("utf-8") || v.starts_with("utf8");
    };
    if (std::optional<std::string_view> encoding = valueOf("pageencoding"))
        return isUtf8(*encoding);
    if (std::optional<std::string_view> charset = valueOf("charset"))
        return isUtf8(*charset);
    return false;
}

// Columns the monitor gives a byte of UTF-8: one per UTF-16 unit, two for a tab.
int monitorColumns(unsigned char byte) {
    if (byte == '\t')
        return 2;
    if ((byte & 0xC0) == 0x80)
        return 0;
    return byte >= 0xF0 ? 2 : 1;
}

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// A JSP file's text, to turn Jasper's places into the monitor's. Jasper ends lines at LF
// only and counts characters as it decoded them; the monitor also ends lines at a lone CR
// and counts its own columns. An empty text (a file that cannot be read) keeps Jasper's
// numbers.
class JspFileText {
public:
    JspFileText() = default;
    JspFileText(std::string text, const fs::path& file)
        : text_(std::move(text)), utf8_(decodedAsUtf8(text_, file)),
          begin_(text_.starts_with("\xEF\xBB\xBF") ? 3 : 0) {}

    static JspFileText read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return {};
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return in.bad() ? JspFileText() : JspFileText(std::move(text), file);
    }

    // Jasper's line and count of characters before the place.
    MonitorPlace place(int line, int characters) const {
        const std::size_t lineStart = jasperLineStart(line);
        if (lineStart == npos)
            return {line, clampedInt(std::int64_t{characters} + 1)};
        std::size_t at = lineStart;
        std::int64_t counted = 0;
        while (at < text_.size() && text_[at] != '\n') {
            const auto lead = static_cast<unsigned char>(text_[at]);
            const std::size_t length = utf8_ ? utf8Length(lead) : 1;
            const int units = utf8_ && length == 4 ? 2 : 1;
            if (counted + units > characters)
                break;
            counted += units;
            at = std::min(text_.size(), at + length);
        }
        MonitorPlace p = placeAt(at);
        // Past the line's end (the file changed since): count on as Jasper did.
        p.column = clampedInt(std::int64_t{p.column} + characters - counted);
        return p;
    }

    int line(int jasperLine) const {
        const std::size_t lineStart = jasperLineStart(jasperLine);
        return lineStart == npos ? jasperLine : placeAt(lineStart).line;
    }

    std::optional<MonitorSpan> find(std::string_view needle) const {
        const std::size_t at = needle.empty() ? npos : text_.find(needle, begin_);
        if (at == npos)
            return std::nullopt;
        return MonitorSpan{placeAt(at), placeAt(at + needle.size())};
    }

    // The line of the first include directive that names the file.
    std::optional<int> includeLine(std::string_view fileName) const {
        for (std::size_t at = fileName.empty() ? npos : text_.find(fileName, begin_); at != npos;
             at = text_.find(fileName, at + 1)) {
            std::size_t lineStart = text_.find_last_of("\r\n", at);
            lineStart = lineStart == npos ? begin_ : lineStart + 1;
            const std::size_t lineEnd = std::min(text_.find_first_of("\r\n", at), text_.size());
            if (std::string_view(text_).substr(lineStart, lineEnd - lineStart).find("include") !=
                npos)
                return placeAt(lineStart).line;
        }
        return std::nullopt;
    }

private:
    // Where Jasper's line starts, or npos past the text's end.
    std::size_t jasperLineStart(int line) const {
        if (line < 1)
            return npos;
        std::size_t at = begin_;
        for (int n = 1; n < line; ++n) {
            at = text_.find('\n', at);
            if (at == npos)
                return npos;
            ++at;
        }
        return at <= text_.size() ? at : npos;
    }

    MonitorPlace placeAt(std::size_t offset) const {
        std::int64_t line = 1;
        std::int64_t column = 1;
        for (std::size_t i = begin_; i < offset && i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n')
                continue; // its LF ends the line
            if (c == '\n' || c == '\r') {
                ++line;
                column = 1;
            } else {
                column += monitorColumns(static_cast<unsigned char>(c));
            }
        }
        return {clampedInt(line), clampedInt(column)};
    }

    std::string text_;
    bool utf8_ = false;
    std::size_t begin_ = 0; // after a byte order mark, which Jasper does not count
};

// The texts that a message quotes in brackets ("[${1 +}]"), in order; brackets inside
// one (an EL index) belong to it.
std::vector<std::string_view> bracketedQuotes(std::string_view message) {
    std::vector<std::string_view> quotes;
    std::size_t i = 0;
    while ((i = message.find('[', i)) != npos) {
        int depth = 0;
        std::size_t end = i;
        for (; end < message.size(); ++end) {
            if (message[end] == '[')
                ++depth;
            else if (message[end] == ']' && --depth == 0)
                break;
        }
        if (end >= message.size())
            break;
        quotes.push_back(message.substr(i + 1, end - i - 1));
        i = end + 1;
    }
    return quotes;
}

// ---- Records ----

std::string checkedFileName(const fs::path& file) {
    std::string name = file.string();
    if (name.find('&') != npos)
        throw std::invalid_argument("the monitor cannot be told about " + name +
                                    ": its name holds an '&', which separates the fields "
                                    "of a record");
    return name;
}

// A message made safe as the record's message field: no "&" (the field separator), never
// empty, and never the record terminator, which would cut the record in two.
std::string safeMessage(std::string_view message) {
    std::string safe = tracehook::PageRuntimeRecords::safeField(message);
    const std::string_view terminator = tracehook::JspSourceInfo::infoEndingToken;
    constexpr std::string_view fullwidthPercent = "\xEF\xBC\x85"; // U+FF05
    for (std::size_t at = safe.find(terminator); at != npos; at = safe.find(terminator, at))
        safe.replace(at, 1, fullwidthPercent);
    return safe;
}

int listPosition(std::size_t index, std::size_t count) {
    if (count == 1)
        return CompileErrorCodes::FIRST_AND_LAST_ERR;
    if (index == 0)
        return CompileErrorCodes::FIRST_ERR;
    return index + 1 == count ? CompileErrorCodes::LAST_ERR : CompileErrorCodes::NORMAL_ERR;
}

// The file of the webapp below its folder, or nullopt for a path that leads out of it.
std::optional<fs::path> inWebapp(const fs::path& webapp, const std::string& webappPath) {
    const fs::path relative = fs::path(webappPath).relative_path().lexically_normal();
    if (relative.empty() || *relative.begin() == "..")
        return std::nullopt;
    return webapp / relative;
}

std::string webappPathOf(const FailedPage& page) {
    std::error_code ec;
    const fs::path webapp = fs::absolute(page.webapp, ec).lexically_normal();
    const fs::path jsp = fs::absolute(page.jspFile, ec).lexically_normal();
    const fs::path relative = jsp.lexically_relative(webapp);
    if (relative.empty() || *relative.begin() == "..")
        return "/" + page.jspFile.filename().generic_string();
    return "/" + relative.generic_string();
}

// Places the errors of one page in the file the monitor shows for it.
class ErrorPlacer {
public:
    ErrorPlacer(std::string shownFile, JspFileText text)
        : shownFile_(std::move(shownFile)), text_(std::move(text)) {}

    MonitorSpan span(const JasperError& error, const std::string& file) const {
        if (file != shownFile_)
            return elsewhere(error, file);
        if (error.line > 0 && error.column)
            return MonitorSpan::fromPlaceToLineEnd(text_.place(error.line, *error.column));
        if (error.line > 0)
            return MonitorSpan::wholeLine(text_.line(error.line));
        for (std::string_view quote : bracketedQuotes(error.message)) {
            if (quote.size() < 3)
                continue; // too short to be found for what it is
            if (std::optional<MonitorSpan> found = text_.find(quote))
                return *found;
        }
        return MonitorSpan::wholeLine(1);
    }

private:
    // An error in another file: on the directive that includes that file.
    MonitorSpan elsewhere(const JasperError& error, const std::string& file) const {
        for (auto site = error.includedFrom.rbegin(); site != error.includedFrom.rend(); ++site) {
            if (site->file == shownFile_)
                return MonitorSpan::fromPlaceToLineEnd(
                    text_.place(site->line, site->column.value_or(0)));
        }
        if (std::optional<int> line = text_.includeLine(fs::path(file).filename().string()))
            return MonitorSpan::wholeLine(*line);
        return MonitorSpan::wholeLine(1);
    }

    std::string shownFile_;
    JspFileText text_;
};

// The generated servlet that the monitor shows beside the page: only for Java errors, as
// JspDebugCompileErrHandler does; the one given, else the one Jasper names.
std::optional<fs::path> servletToShow(const FailedPage& page,
                                      const std::vector<JasperError>& errors) {
    std::optional<fs::path> servlet = page.javaFile;
    bool anyJava = false;
    for (const JasperError& e : errors) {
        anyJava = anyJava || e.kind == JasperErrorKind::Java;
        if (!servlet && e.generated)
            servlet = e.generated->file;
    }
    return anyJava ? servlet : std::nullopt;
}

// "%P" F "&" kind "&" JL "&" JP "&" SL "&" SP "&" EL "&" EP "&" message "&" position.
std::string errorRecord(const std::string& fileId, const JasperError& error,
                        const MonitorSpan& span, std::string_view message, int position) {
    const bool java = error.kind == JasperErrorKind::Java;
    // A Java position is known only where Jasper names a line of the generated servlet
    // (0: none); JSP errors carry "1&1", as the handler writes them.
    const int javaLine = java ? (error.generated ? error.generated->line : 0) : 1;
    const int javaColumn = java ? 0 : 1;
    std::string record(tracehook::JspSourceInfo::compileErrToken);
    record += fileId + "&" +
              std::to_string(java ? CompileErrorCodes::JAVA_ERR : CompileErrorCodes::JSP_ERR);
    for (int n :
         {javaLine, javaColumn, span.start.line, span.start.column, span.end.line, span.end.column})
        record += "&" + std::to_string(n);
    return record + "&" + safeMessage(message) + "&" + std::to_string(position);
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

CompileErrorRecords buildCompileErrorRecords(const FailedPage& page,
                                             const std::vector<JasperError>& errors) {
    const std::string pagePath = webappPathOf(page);
    auto fileOf = [&](const JasperError& e) {
        return e.file.empty() ? pagePath : e.file;
    };

    // The requested page, unless only other files (its includes) hold errors.
    std::string shown = pagePath;
    fs::path shownOnDisk = page.jspFile;
    if (!errors.empty() && std::none_of(errors.begin(), errors.end(), [&](const JasperError& e) {
            return fileOf(e) == pagePath;
        })) {
        if (std::optional<fs::path> file = inWebapp(page.webapp, fileOf(errors.front()))) {
            shown = fileOf(errors.front());
            shownOnDisk = *file;
        }
    }

    const std::string id = std::to_string(page.fileId);
    CompileErrorRecords records;
    records.fileRecord = std::string(tracehook::JspSourceInfo::compileErrFileToken) + id + "&" +
                         checkedFileName(shownOnDisk);
    if (std::optional<fs::path> javaFile = servletToShow(page, errors))
        records.fileRecord += "&" + checkedFileName(*javaFile);

    const ErrorPlacer placer(shown, JspFileText::read(shownOnDisk));
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const JasperError& error = errors[i];
        const std::string file = fileOf(error);
        std::string message = error.message;
        if (file != shown) // the monitor shows it in another file: say where it is
            message = file + (error.line > 0 ? " line " + std::to_string(error.line) : "") + ": " +
                      message;
        records.errorRecords.push_back(errorRecord(id, error, placer.span(error, file), message,
                                                   listPosition(i, errors.size())));
    }
    return records;
}

} // namespace tomcatrunner
