#include "tracehook/jspsourceinfo.h"

#include "tracehook/compileerrorcodes.h"
#include "tracehook/jspresource.h"
#include "tracehook/tracer.h"

#include <cstdio>

namespace tracehook {

JspSourceInfo::JspSourceInfo() : infoType(CLIENT_EXIT_COMMAND) {}

JspSourceInfo::JspSourceInfo(int n) : continueStr(std::to_string(n)), infoType(CONTINUE_INFO) {}

JspSourceInfo::JspSourceInfo(std::string comment)
    : commentStr(std::move(comment)), infoType(COMMENT_INFO) {}

JspSourceInfo::JspSourceInfo(std::string text, int type) : infoType(type) {
    switch (type) {
    case COMMENT_INFO:
        commentStr = std::move(text);
        break;
    case CONTINUE_INFO:
        continueStr = std::move(text);
        break;
    case HTML_INFO:
        htmlStr = std::move(text);
        break;
    case ABNORMAL_CLIENT_EXIT_COMMAND:
        htmlStr = std::move(text);
        fileIdStr.reset();
        break;
    default:
        break;
    }
}

JspSourceInfo::JspSourceInfo(std::string fileId, std::string html, int type) : infoType(type) {
    if (type == HTML_INFO) {
        fileIdStr = std::move(fileId);
        htmlStr = std::move(html);
    }
}

JspSourceInfo::JspSourceInfo(std::string fileId, std::string jspFilename, Text javaFilename,
                             bool compileErr)
    : fileIdStr(std::move(fileId)), jspSourceFilename(std::move(jspFilename)),
      javaSourceFilename(std::move(javaFilename)),
      infoType(compileErr ? COMPILE_ERR_FILE_INFO : FILE_INFO) {}

JspSourceInfo::JspSourceInfo(std::string fileId, std::int32_t javaLine, std::int32_t jspStartLine,
                             std::int32_t jspStartPos, std::int32_t jspEndLine,
                             std::int32_t jspEndPos)
    : JspSourceInfo(LINE_INFO, std::move(fileId), javaLine, jspStartLine, jspStartPos, jspEndLine,
                    jspEndPos) {}

JspSourceInfo::JspSourceInfo(int type, std::string fileId, std::int32_t javaLine,
                             std::int32_t jspStartLine, std::int32_t jspStartPos,
                             std::int32_t jspEndLine, std::int32_t jspEndPos)
    : JspLineSourceInfo(javaLine, jspStartLine, jspStartPos, jspEndLine, jspEndPos),
      fileIdStr(std::move(fileId)), infoType(type) {}

JspSourceInfo::JspSourceInfo(int type, std::string fileId, std::int32_t javaLine,
                             std::int32_t jspStartLine, std::int32_t jspStartPos,
                             std::int32_t jspEndLine, std::int32_t jspEndPos, std::string comment)
    : JspSourceInfo(type, std::move(fileId), javaLine, jspStartLine, jspStartPos, jspEndLine,
                    jspEndPos) {
    commentStr = std::move(comment);
}

JspSourceInfo::JspSourceInfo(std::string fileId, int errTypeValue, std::int32_t javaLine,
                             std::int32_t javaPos, std::int32_t jspStartLine,
                             std::int32_t jspStartPos, std::int32_t jspEndLine,
                             std::int32_t jspEndPos, std::string message, int errStatusValue)
    : JspLineSourceInfo(javaLine, javaPos, jspStartLine, jspStartPos, jspEndLine, jspEndPos),
      fileIdStr(std::move(fileId)), errType(errTypeValue), errMsg(std::move(message)),
      errStatus(errStatusValue), infoType(COMPILE_ERR_LINE_INFO) {}

JspSourceInfo::Text JspSourceInfo::getDisplayErrMsg() const {
    if (!errMsg)
        return std::nullopt;
    std::string message = *errMsg;
    if (!message.empty() && message.back() == '\r')
        message.pop_back();
    switch (errType) {
    case CompileErrorCodes::JSP_ERR:
        return JspResource::getToolString("L-JSPSyntaxError") + " " + message;
    case CompileErrorCodes::JAVA_ERR:
        return JspResource::getToolString("L-JavaSyntaxError") + " " + message;
    default:
        return message;
    }
}

namespace {
std::string orNull(const JspSourceInfo::Text& text) {
    return text.value_or("null");
}

std::string positionLines(const JspSourceInfo& info) {
    std::string out;
    out += "\tjava source line  = " + std::to_string(info.getJavaLine()) + "\n";
    out += "\tjava source position  = " + std::to_string(info.getJavaPos()) + "\n";
    out += "\tjsp source start line  = " + std::to_string(info.getJspStartLine()) + "\n";
    out += "\tstart position   = " + std::to_string(info.getJspStartPos()) + "\n";
    out += "\tjsp source stop line  = " + std::to_string(info.getJspEndLine()) + "\n";
    out += "\tend position     = " + std::to_string(info.getJspEndPos()) + "\n";
    return out;
}
} // namespace

std::string JspSourceInfo::infoDump() const {
    std::string out;
    const std::string fileId = "\tfile id: " + orNull(fileIdStr) + "\n";
    switch (infoType) {
    case FILE_INFO:
    case COMPILE_ERR_FILE_INFO:
        out += infoType == FILE_INFO ? "File info:\n" : "Compile error file info:\n";
        out += fileId;
        out += "\tjsp file name: " + orNull(jspSourceFilename) + "\n";
        out += "\tjava file name: " + orNull(javaSourceFilename) + "\n";
        break;
    case LINE_INFO:
    case RESUME_HIGHLIGHT_INFO:
    case SWITCH_FILE_INFO:
        out += infoType == LINE_INFO ? "Line info:\n"
                                     : (infoType == SWITCH_FILE_INFO ? "Switch file info:\n"
                                                                     : "Resume highlight info:\n");
        out += fileId + positionLines(*this);
        break;
    case HTML_INFO:
        out += "Html info:\n" + fileId + "\thtml line = |" + orNull(htmlStr) + "|\n";
        break;
    case COMMENT_INFO:
        out += "Comment info:\n\tcomment = |" + orNull(commentStr) + "|\n";
        break;
    case CONTINUE_INFO:
        out += "Continue info:\n\tcontinue = |" + orNull(continueStr) + "|\n";
        break;
    case CLIENT_EXIT_COMMAND:
        out += "\tClient exit command.\n";
        break;
    case ABNORMAL_CLIENT_EXIT_COMMAND:
        out += "\tAbnormal client exit command.\n" + fileId + positionLines(*this);
        out += "\tmessage = |" + orNull(commentStr ? commentStr : htmlStr) + "|\n";
        break;
    case COMPILE_ERR_LINE_INFO:
        out += "Compile error info:\n" + fileId + positionLines(*this);
        out += "\terror type = " + std::to_string(errType) + "\n";
        out += "\terror message = |" + orNull(errMsg) + "|\n";
        out += "\terror status = " + std::to_string(errStatus) + "\n";
        break;
    default:
        out += "Warning: Unknown info type: " + std::to_string(infoType) +
               "\n\tSource info is not printed.\n";
        break;
    }
    return out;
}

void JspSourceInfo::prtInfo() const {
    std::string text = infoDump();
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    Tracer::printLine(text);
}

} // namespace tracehook
