#include "tracehook/jspdebugcompileerrhandler.h"

#include "tracehook/debugconstants.h"
#include "tracehook/decimal.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/pageruntimerecords.h"
#include "tracehook/tracer.h"

#include <limits>

namespace tracehook {

namespace {

constexpr std::string_view kClassName = "tracehook::JspDebugCompileErrHandler";
constexpr std::string_view kFullwidthPercent = "\xEF\xBC\x85"; // U+FF05

// The message cut at line feeds into non-empty lines; runs of line feeds count as one.
std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > pos)
            lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// The column of the first caret in a marker line, counted in characters (UTF-8 code
// points), or 0 when it has none.
std::int32_t caretIndex(std::string_view marker) {
    std::int32_t index = 0;
    for (char c : marker) {
        if (c == '^')
            return index;
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 &&
            index < std::numeric_limits<std::int32_t>::max())
            ++index;
    }
    return 0;
}

// The line and message of a Java compiler error line, whose first two colons are c1 and
// c2, or nullopt when the line is not one.
struct JavaErrorHead {
    std::int32_t line;
    std::string_view message;
};

std::optional<JavaErrorHead> readJavaErrorHead(std::string_view line, std::size_t c1,
                                               std::size_t c2) {
    // Drive letter ":" path ":" line ":" message: the first colon is the drive's.
    if (c2 + 1 < line.size()) {
        std::size_t c3 = line.find(':', c2 + 1);
        if (c3 != std::string_view::npos) {
            if (std::optional<std::int32_t> n = parseDecimalInt32(line.substr(c2 + 1, c3 - c2 - 1)))
                return JavaErrorHead{*n, line.substr(c3 + 1)};
        }
    }
    // path ":" line ":" message, as the compiler writes paths without a drive letter. Only
    // lines that the drive-letter form cannot read get here.
    if (std::optional<std::int32_t> n = parseDecimalInt32(line.substr(c1 + 1, c2 - c1 - 1)))
        return JavaErrorHead{*n, line.substr(c2 + 1)};
    return std::nullopt;
}

// A compile error message made safe as a record field: "&" replaced, never empty, and
// never holding the record terminator, which would cut the record in two.
std::string safeMessage(std::string_view message) {
    std::string safe = PageRuntimeRecords::safeField(message);
    const std::string_view terminator = JspSourceInfo::infoEndingToken;
    for (std::size_t at = safe.find(terminator); at != std::string::npos;
         at = safe.find(terminator, at))
        safe.replace(at, 1, kFullwidthPercent);
    return safe;
}

// n + 1, kept inside the 32-bit range that the monitor reads.
std::int32_t plusOne(std::int32_t n) {
    return n == std::numeric_limits<std::int32_t>::max() ? n : n + 1;
}

} // namespace

JspDebugCompileErrHandler::JspDebugCompileErrHandler(Text jsp, Text java, Text message) {
    initialize(std::move(jsp), std::move(java), std::move(message));
}

void JspDebugCompileErrHandler::initialize(Text jsp, Text java, Text message) {
    parseCompileErr(message);
    jspFilename = std::move(jsp);
    javaFilename = std::move(java);
    if (DebugConstants::getTrace())
        printCompileErrInfo();
}

void JspDebugCompileErrHandler::parseCompileErr(const Text& message) {
    compileErrInfoLst.emplace();
    if (!message)
        return;
    isUnknownMsg = false;
    std::vector<CompileErrInfo>& errors = *compileErrInfoLst;
    const std::vector<std::string_view> lines = nonEmptyLines(*message);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t c1 = line.find(':');
        if (c1 == std::string_view::npos || c1 + 1 == line.size())
            continue;
        const std::size_t c2 = line.find(':', c1 + 1);
        if (c2 == std::string_view::npos || line[c1 + 1] == '"') {
            // line "," column ":" message
            if (c1 == 0)
                continue;
            const std::size_t comma = line.rfind(',', c1 - 1);
            if (comma == std::string_view::npos)
                continue;
            std::optional<std::int32_t> lineNum = parseDecimalInt32(line.substr(0, comma));
            std::optional<std::int32_t> column =
                parseDecimalInt32(line.substr(comma + 1, c1 - comma - 1));
            if (!lineNum || !column)
                continue;
            const std::int32_t posNum = *column == 0 ? 1 : *column;
            errors.emplace_back(JSP_ERR, *lineNum, posNum, std::string(line.substr(c1 + 1)));
            Tracer::trace(kClassName, "parseCompileErr",
                          "Received JSP syntax error: " + std::to_string(*lineNum) + ", " +
                              std::to_string(posNum) + ": " + std::string(line));
            continue;
        }
        std::optional<JavaErrorHead> head = readJavaErrorHead(line, c1, c2);
        if (!head)
            continue;
        // The echoed source line and the marker line below it belong to this error.
        std::int32_t caret = 0;
        if (i + 1 < lines.size()) {
            ++i;
            if (i + 1 < lines.size()) {
                ++i;
                caret = caretIndex(lines[i]);
            }
        }
        const std::int32_t posNum = plusOne(caret);
        errors.emplace_back(JAVA_ERR, head->line, posNum, std::string(head->message));
        Tracer::trace(kClassName, "parseCompileErr",
                      "Received Java syntax error: " + std::to_string(head->line) + ", " +
                          std::to_string(posNum) + ": " + std::string(line));
    }
    if (errors.empty())
        isUnknownMsg = true;
}

bool JspDebugCompileErrHandler::getIsOnlyJspErr() const {
    if (!compileErrInfoLst)
        return true;
    for (const CompileErrInfo& error : *compileErrInfoLst) {
        if (error.errType != JSP_ERR)
            return false;
    }
    return true;
}

int JspDebugCompileErrHandler::getComErrInfoLstMaxIndex() const {
    if (!compileErrInfoLst)
        return 0;
    return static_cast<int>(compileErrInfoLst->size()) - 1;
}

std::span<const JspDebugCompileErrHandler::CompileErrInfo>
JspDebugCompileErrHandler::getCompileErrInfoLst() const {
    if (!compileErrInfoLst)
        return {};
    return *compileErrInfoLst;
}

std::unique_ptr<JspSourceTable> JspDebugCompileErrHandler::createSourceTable() const {
    return std::make_unique<JspSourceTable>(jspFilename, javaFilename);
}

void JspDebugCompileErrHandler::saveSourceTbl(std::shared_ptr<const JspSourceTable> table) {
    sourceTbl = std::move(table);
}

JspDebugCompileErrHandler::Text JspDebugCompileErrHandler::getFileInfoStr(int fileId) const {
    if (!jspFilename || !javaFilename)
        return std::nullopt;
    std::string out(JspSourceInfo::compileErrFileToken);
    out += std::to_string(fileId);
    out += JspLineSourceInfo::infoStrToken;
    out += *jspFilename;
    if (!getIsOnlyJspErr()) {
        out += JspLineSourceInfo::infoStrToken;
        out += *javaFilename;
    }
    return out;
}

std::string JspDebugCompileErrHandler::javaErrSpan(std::int32_t javaLine) const {
    if (sourceTbl) {
        if (Text span = sourceTbl->getJspLineInfoStr(javaLine))
            return *span;
    }
    // Without a row the record would lack its span and be rejected: show the first line.
    return "1&0&2&0";
}

JspDebugCompileErrHandler::Text JspDebugCompileErrHandler::getLineInfoStr(int fileId,
                                                                          int index) const {
    if (!compileErrInfoLst || index < 0 ||
        static_cast<std::size_t>(index) >= compileErrInfoLst->size())
        return std::nullopt;
    const CompileErrInfo& error = (*compileErrInfoLst)[static_cast<std::size_t>(index)];
    if (error.errType != JSP_ERR && error.errType != JAVA_ERR)
        return std::nullopt;
    const std::size_t count = compileErrInfoLst->size();
    int position = NORMAL_ERR;
    if (index == 0)
        position = count == 1 ? FIRST_AND_LAST_ERR : FIRST_ERR;
    else if (static_cast<std::size_t>(index) == count - 1)
        position = LAST_ERR;

    const std::string amp(JspLineSourceInfo::infoStrToken);
    std::string out(JspSourceInfo::compileErrToken);
    out += std::to_string(fileId) + amp + std::to_string(error.errType) + amp;
    if (error.errType == JSP_ERR) {
        // No Java position; the span runs from the error to the start of the next line.
        out += "1" + amp + "1" + amp + std::to_string(error.lineNum) + amp +
               std::to_string(error.posNum) + amp + std::to_string(plusOne(error.lineNum)) + amp +
               "0";
    } else {
        out += std::to_string(error.lineNum) + amp + std::to_string(error.posNum) + amp +
               javaErrSpan(error.lineNum);
    }
    out += amp + safeMessage(error.errMsg) + amp + std::to_string(position);
    return out;
}

std::string JspDebugCompileErrHandler::compileErrInfoDump() const {
    std::string out = "Errors during compiling the JSP file:\n";
    if (!compileErrInfoLst || compileErrInfoLst->empty())
        return out + "\tThere is no pagecompile error.\n";
    for (const CompileErrInfo& error : *compileErrInfoLst) {
        out += "\tError type: ";
        if (error.errType == JSP_ERR)
            out += "JSP\n\tLine number: ";
        else if (error.errType == JAVA_ERR)
            out += "Java\n\tLine number: ";
        else {
            out += "unknown type\n";
            continue;
        }
        out += std::to_string(error.lineNum) +
               "\n\tPosition number: " + std::to_string(error.posNum) +
               "\n\tError message: " + error.errMsg + "\n";
    }
    return out;
}

void JspDebugCompileErrHandler::printCompileErrInfo() const {
    std::string dump = compileErrInfoDump();
    dump.pop_back(); // printLine ends the last line itself
    Tracer::printLine(dump);
}

} // namespace tracehook
