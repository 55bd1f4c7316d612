#include "tracehook/jspsourcetable.h"

#include "filetime.h"
#include "tracehook/debugconstants.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tracehook {
namespace {

void appendField(std::string& out, std::int64_t n) {
    out += JspLineSourceInfo::infoStrToken;
    out += std::to_string(n);
}

// JL "&" SL "&" SP "&" EL "&" EP.
std::string positionBody(const JspLineSourceInfo& row) {
    std::string out = std::to_string(row.getJavaLine());
    for (std::int32_t n :
         {row.getJspStartLine(), row.getJspStartPos(), row.getJspEndLine(), row.getJspEndPos()})
        appendField(out, n);
    return out;
}

} // namespace

JspSourceTable::JspSourceTable(Text jspSourceFilenameValue, Text javaSourceFilenameValue)
    : javaSourceFilename(std::move(javaSourceFilenameValue)),
      jspSourceFilename(std::move(jspSourceFilenameValue)) {}

void JspSourceTable::add(std::int32_t javaLine, std::int32_t jspStartLine, std::int32_t jspStartPos,
                         std::int32_t jspEndLine, std::int32_t jspEndPos) {
    const JspLineSourceInfo row(javaLine, jspStartLine, jspStartPos, jspEndLine, jspEndPos);
    std::unique_lock lock(mutex_);
    ht.insert_or_assign(javaLine, row);
}

std::optional<JspLineSourceInfo> JspSourceTable::getJspLineSourceInfo(std::int32_t javaLine) const {
    std::shared_lock lock(mutex_);
    auto it = ht.find(javaLine);
    if (it == ht.end())
        return std::nullopt;
    return it->second;
}

std::int32_t JspSourceTable::getJspStartLine(std::int32_t javaLine) const {
    return getJspLineSourceInfo(javaLine).value_or(JspLineSourceInfo()).getJspStartLine();
}

std::int32_t JspSourceTable::getJspEndLine(std::int32_t javaLine) const {
    return getJspLineSourceInfo(javaLine).value_or(JspLineSourceInfo()).getJspEndLine();
}

std::int32_t JspSourceTable::getJspEndPos(std::int32_t javaLine) const {
    return getJspLineSourceInfo(javaLine).value_or(JspLineSourceInfo()).getJspEndPos();
}

std::size_t JspSourceTable::size() const {
    std::shared_lock lock(mutex_);
    return ht.size();
}

JspSourceTable::Text JspSourceTable::getFileInfoStr(int fileId, bool withTimes) const {
    if (!jspSourceFilename || !javaSourceFilename)
        return std::nullopt;
    std::string out(JspSourceInfo::fileInfoToken);
    out += std::to_string(fileId);
    out += JspLineSourceInfo::infoStrToken;
    out += *jspSourceFilename;
    if (withTimes)
        appendField(out, detail::modifiedMillis(*jspSourceFilename).value_or(0));
    out += JspLineSourceInfo::infoStrToken;
    out += *javaSourceFilename;
    if (withTimes)
        appendField(out, detail::modifiedMillis(*javaSourceFilename).value_or(0));
    return out;
}

JspSourceTable::Text JspSourceTable::getLineInfoStr(int fileId, std::int32_t javaLine) const {
    std::optional<JspLineSourceInfo> row = getJspLineSourceInfo(javaLine);
    if (!row)
        return std::nullopt;
    std::string out(JspLineSourceInfo::lineInfoStrToken);
    out += std::to_string(fileId);
    out += JspLineSourceInfo::infoStrToken;
    out += positionBody(*row);
    return out;
}

JspSourceTable::Text JspSourceTable::getResumeHighlightInfoStr(int /*fileId*/,
                                                               std::int32_t javaLine) const {
    std::optional<JspLineSourceInfo> row = getJspLineSourceInfo(javaLine);
    if (!row)
        return std::nullopt;
    return positionBody(*row);
}

JspSourceTable::Text JspSourceTable::getJspLineInfoStr(std::int32_t javaLine) const {
    std::optional<JspLineSourceInfo> row = getJspLineSourceInfo(javaLine);
    if (!row)
        return std::nullopt;
    // Line 0 means "unknown"; the monitor shows the span at the first line instead.
    auto shown = [](std::int32_t line) {
        return line == 0 ? 1 : line;
    };
    std::string out = std::to_string(shown(row->getJspStartLine()));
    appendField(out, row->getJspStartPos());
    appendField(out, shown(row->getJspEndLine()));
    appendField(out, row->getJspEndPos());
    return out;
}

void JspSourceTable::line(std::int32_t javaLine) const {
    if (!DebugConstants::getTrace())
        return;
    std::string text = "java source line = " + std::to_string(javaLine) + "\n";
    if (std::optional<JspLineSourceInfo> row = getJspLineSourceInfo(javaLine)) {
        text += "jsp source start line  = " + std::to_string(row->getJspStartLine()) + "\n";
        text += "start position   = " + std::to_string(row->getJspStartPos()) + "\n";
        text += "jsp source stop line  = " + std::to_string(row->getJspEndLine()) + "\n";
        text += "end position     = " + std::to_string(row->getJspEndPos()) + "\n";
    } else {
        text += "no jsp source span is mapped to this line\n";
    }
    text += " ";
    // One write, so that the lines of two threads never interleave.
    Tracer::printLine(text);
}

void JspSourceTable::prtSourceTable() const {
    std::vector<std::int32_t> lines;
    {
        std::shared_lock lock(mutex_);
        lines.reserve(ht.size());
        for (const auto& entry : ht)
            lines.push_back(entry.first);
    }
    std::sort(lines.begin(), lines.end());
    for (std::int32_t javaLine : lines)
        line(javaLine);
}

} // namespace tracehook
