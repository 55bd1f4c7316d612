#pragma once

#include "pagerunner/jsptext.h"
#include "pagerunner/jsptranslator.h"
#include "tracehook/jspdebugcompileerrhandler.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/jspsourcetable.h"

#include <memory>
#include <optional>
#include <string>

namespace testsupport {

// Translates any text as a page and checks what the monitor relies on: every mapped Java
// line starts with its own instrumentation call, every span lies in the page and cuts out
// exactly the text it was made from, loops close after they open, and a page that fails
// gives a message that the compile error handler reads into records the monitor parses.
// Returns a description of the first fault, or nullopt.
inline std::optional<std::string> findTranslationFault(const std::string& text) {
    using namespace pagerunner;
    const TranslatedPage page = JspTranslator::translate("/p/page.jsp", "/w/page_jsp.java", text);
    const JspText jsp(text);
    auto table = std::make_shared<tracehook::JspSourceTable>(page.jspPath, page.javaPath);
    for (const MappedLine& m : page.mappedLines) {
        const std::string where = "java line " + std::to_string(m.javaLine) + ": ";
        if (m.javaLine < 1 || static_cast<std::size_t>(m.javaLine) > page.javaLines.size())
            return where + "outside the Java file";
        const std::string& line = page.javaLines[static_cast<std::size_t>(m.javaLine - 1)];
        if (!line.starts_with("vlmAgent.line(" + std::to_string(m.javaLine) + ");"))
            return where + "no instrumentation call of its own";
        if (m.jspBegin > m.jspEnd || m.jspEnd > text.size())
            return where + "bytes outside the page";
        if (!(jsp.positionOf(m.jspBegin) == m.span.start) ||
            !(jsp.positionOf(m.jspEnd) == m.span.end))
            return where + "span does not match its bytes";
        if (m.span.end.line < m.span.start.line ||
            (m.span.end.line == m.span.start.line && m.span.end.column < m.span.start.column))
            return where + "span ends before it starts";
        table->add(m.javaLine, m.span.start.line, m.span.start.column, m.span.end.line,
                   m.span.end.column);
    }
    for (std::size_t i = 0; i < page.statements.size(); ++i) {
        const PageStatement& s = page.statements[i];
        if (s.loop && (s.loopClose <= i || s.loopClose >= page.statements.size()))
            return "statement " + std::to_string(i) + ": loop closes before it opens";
        if (s.reported && !table->getLineInfoStr(1, s.javaLine))
            return "statement " + std::to_string(i) + ": reported but unmapped";
    }
    if (!page.failed())
        return std::nullopt;
    tracehook::JspDebugCompileErrHandler handler(page.jspPath, page.javaPath, page.compileMessage);
    handler.saveSourceTbl(table);
    if (handler.getComErrInfoLstMaxIndex() < 0)
        return "compile message not readable: " + *page.compileMessage;
    for (int i = 0; i <= handler.getComErrInfoLstMaxIndex(); ++i) {
        std::optional<std::string> record = handler.getLineInfoStr(1, i);
        if (!record || !tracehook::infoStrParser(*record))
            return "error record " + std::to_string(i) + " unreadable: " + record.value_or("none");
    }
    return std::nullopt;
}

} // namespace testsupport
