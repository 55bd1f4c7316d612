#pragma once

#include "tracehook/jspdebugcompileerrhandler.h"
#include "tracehook/jspsourceinfo.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tracehook::checks {

// Reads a compiler message and checks that every record built from it is one the monitor
// reads back into the same values. Returns what went wrong, or nullopt.
inline std::optional<std::string> findUnreadableErrorRecord(std::string_view message) {
    JspDebugCompileErrHandler handler("/site/page.jsp", "/work/page_jsp.java",
                                      std::string(message));
    auto table = std::make_shared<JspSourceTable>("/site/page.jsp", "/work/page_jsp.java");
    for (std::int32_t javaLine = 0; javaLine < 50; javaLine += 3)
        table->add(javaLine, javaLine / 2, javaLine % 4, javaLine / 2 + javaLine % 2, 1);
    handler.saveSourceTbl(table);

    const std::string fileRecord = handler.getFileInfoStr(7).value_or("");
    std::optional<JspSourceInfo> file = infoStrParser(fileRecord);
    if (!file || file->getInfoType() != JspSourceInfo::COMPILE_ERR_FILE_INFO)
        return "file record not readable: " + fileRecord;

    const auto errors = handler.getCompileErrInfoLst();
    if (handler.getIsUnknownMsg() != errors.empty())
        return std::string("unknown-message flag disagrees with the list");
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const auto& error = errors[i];
        const std::optional<std::string> record = handler.getLineInfoStr(7, static_cast<int>(i));
        if (!record)
            return "no record for error " + std::to_string(i);
        if (record->find(JspSourceInfo::infoEndingToken) != std::string::npos)
            return "record holds the terminator: " + *record;
        std::optional<JspSourceInfo> parsed = infoStrParser(*record);
        if (!parsed)
            return "record rejected: " + *record;
        const bool isJsp = error.errType == JspDebugCompileErrHandler::JSP_ERR;
        if (parsed->getErrType() != error.errType ||
            (isJsp ? parsed->getJspStartLine() : parsed->getJavaLine()) != error.lineNum ||
            (isJsp ? parsed->getJspStartPos() : parsed->getJavaPos()) != error.posNum)
            return "record reads back other values: " + *record;
        const std::string& sent = parsed->getErrMsg().value_or("");
        const bool plain = !error.errMsg.empty() && error.errMsg.find('&') == std::string::npos &&
                           error.errMsg.find(JspSourceInfo::infoEndingToken) == std::string::npos;
        if (plain && sent != error.errMsg)
            return "message changed: " + *record;
        // A Java error is always shown on a JSP line, mapped or not.
        if (!isJsp && (parsed->getJspStartLine() < 1 || parsed->getJspEndLine() < 1))
            return "Java error not placed on a JSP line: " + *record;
        const int expectedStatus = errors.size() == 1
                                       ? JspDebugCompileErrHandler::FIRST_AND_LAST_ERR
                                   : i == 0                 ? JspDebugCompileErrHandler::FIRST_ERR
                                   : i + 1 == errors.size() ? JspDebugCompileErrHandler::LAST_ERR
                                                            : JspDebugCompileErrHandler::NORMAL_ERR;
        if (parsed->getErrStatus() != expectedStatus)
            return "wrong place in the list: " + *record;
    }
    return std::nullopt;
}

} // namespace tracehook::checks
