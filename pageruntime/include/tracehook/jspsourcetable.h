#pragma once

#include "tracehook/jsplinesourceinfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>

namespace tracehook {

// The source map of one page: for each line of the generated Java file that carries page
// logic, the JSP span it came from. The page compiler fills it; the page runtime asks it
// for the records that report the file and the executing position to the monitor.
//
// Thread-safe: rows may be added while other threads look lines up. Each add and each
// lookup is atomic; a record is built from one consistent row.
class JspSourceTable {
public:
    using Text = std::optional<std::string>;

    // Note the order: the JSP file first.
    JspSourceTable(Text jspSourceFilename, Text javaSourceFilename);

    // Stores the row of javaLine, replacing any row it had.
    void add(std::int32_t javaLine, std::int32_t jspStartLine, std::int32_t jspStartPos,
             std::int32_t jspEndLine, std::int32_t jspEndPos);

    std::optional<JspLineSourceInfo> getJspLineSourceInfo(std::int32_t javaLine) const;
    // The row's value, or 0 when the line has no row.
    std::int32_t getJspStartLine(std::int32_t javaLine) const;
    std::int32_t getJspEndLine(std::int32_t javaLine) const;
    std::int32_t getJspEndPos(std::int32_t javaLine) const;
    std::size_t size() const;

    const Text& getJSPSourceFilename() const { return jspSourceFilename; }
    const Text& getJavaSourceFilename() const { return javaSourceFilename; }

    // "%F" F "&" jspFile "&" javaFile; with withTimes the five-field form
    // "%F" F "&" jspFile "&" jspTime "&" javaFile "&" javaTime (last-modified times in
    // milliseconds, 0 when unreadable), which the monitor's reader does not accept.
    // nullopt when either file name is missing.
    Text getFileInfoStr(int fileId, bool withTimes) const;
    // "%L" F "&" JL "&" SL "&" SP "&" EL "&" EP, or nullopt for an unmapped line.
    Text getLineInfoStr(int fileId, std::int32_t javaLine) const;
    // Only the body JL "&" SL "&" SP "&" EL "&" EP, to which the sender prefixes "%R" or
    // "%S", the file id and "&" (PageRuntimeRecords::positioned). fileId is not used.
    Text getResumeHighlightInfoStr(int fileId, std::int32_t javaLine) const;
    // SL "&" SP "&" EL "&" EP with a start or end line of 0 written as 1: the span that a
    // compile-error record embeds. nullopt for an unmapped line.
    Text getJspLineInfoStr(std::int32_t javaLine) const;

    // Trace hook for one executed line: with tracing on, prints the row (or that the line
    // has none) to standard output. Sends nothing and never blocks on the monitor.
    void line(std::int32_t javaLine) const;
    // line() for every mapped Java line, in ascending order.
    void prtSourceTable() const;

private:
    mutable std::shared_mutex mutex_;
    std::unordered_map<std::int32_t, JspLineSourceInfo> ht;
    const Text javaSourceFilename;
    const Text jspSourceFilename;
};

} // namespace tracehook
