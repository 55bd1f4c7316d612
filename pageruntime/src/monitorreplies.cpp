#include "tracehook/monitorreplies.h"

#include "tracehook/compileerrorcodes.h"
#include "tracehook/decimal.h"
#include "tracehook/jspsourceinfo.h"

namespace tracehook {

std::string MonitorReplies::getResumeReturnStr(std::string_view fileId, std::optional<int> item,
                                               int errAction) {
    std::string reply(JspSourceInfo::continueToken);
    reply += fileId;
    if (errAction != CompileErrorCodes::NOT_ERR) {
        reply += '&';
        reply += std::to_string(errAction);
    } else if (item) {
        reply += '&';
        reply += std::to_string(*item);
    }
    return reply;
}

std::string MonitorReplies::getSetBreakptStr(std::string_view fileId, std::int32_t line, bool set) {
    std::string reply(JspSourceInfo::breakpointInfoToken);
    reply += fileId;
    reply += '&';
    reply += std::to_string(line);
    reply += '&';
    reply += std::to_string(set ? JspSourceInfo::SET_BREAK_PT : JspSourceInfo::CLEAR_BREAK_PT);
    return reply;
}

std::string MonitorReplies::getSwitchFileStr(std::string_view fileId) {
    return std::string(JspSourceInfo::switchFileToken) + std::string(fileId);
}

std::string MonitorReplies::getServerExitStr() {
    return std::string(JspSourceInfo::serverExitToken);
}

MonitorReplies::Reply MonitorReplies::parse(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    Reply reply;
    if (line.size() < 2)
        return reply;
    const std::string_view token = line.substr(0, 2);
    std::string_view body = line.substr(2);
    if (token == JspSourceInfo::serverExitToken) {
        reply.kind = Reply::Kind::ServerExit;
        return reply;
    }
    std::size_t amp = body.find('&');
    std::string_view id = body.substr(0, amp);
    if (id.empty() || !parseDecimalInt32(id))
        return reply;
    std::string_view rest =
        amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    if (token == JspSourceInfo::continueToken) {
        if (amp != std::string_view::npos) {
            std::optional<std::int32_t> code = parseDecimalInt32(rest);
            if (!code)
                return reply;
            reply.code = code;
        }
        reply.kind = Reply::Kind::Continue;
    } else if (token == JspSourceInfo::switchFileToken) {
        if (amp != std::string_view::npos)
            return reply;
        reply.kind = Reply::Kind::SwitchFile;
    } else if (token == JspSourceInfo::breakpointInfoToken) {
        std::size_t second = rest.find('&');
        if (amp == std::string_view::npos || second == std::string_view::npos)
            return reply;
        std::optional<std::int32_t> lineNum = parseDecimalInt32(rest.substr(0, second));
        std::optional<std::int32_t> action = parseDecimalInt32(rest.substr(second + 1));
        if (!lineNum || !action)
            return reply;
        reply.kind = Reply::Kind::Breakpoint;
        reply.line = *lineNum;
        reply.action = *action;
    } else {
        return reply;
    }
    reply.fileId = std::string(id);
    return reply;
}

} // namespace tracehook
