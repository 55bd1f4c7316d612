#include "tracehook/pageruntimerecords.h"

#include "tracehook/jspsourceinfo.h"

namespace tracehook {
namespace {
constexpr std::string_view fullwidthAmpersand = "\xEF\xBC\x86"; // U+FF06
}

std::string PageRuntimeRecords::html(std::string_view fileId, std::string_view text) {
    std::string r(JspSourceInfo::htmlInfoToken);
    r += fileId;
    r += '&';
    r += text;
    return r;
}

std::string PageRuntimeRecords::clientExit() {
    return std::string(JspSourceInfo::clientExitToken);
}

std::string PageRuntimeRecords::abnormalExit(std::string_view fileId, const JspLineSourceInfo& at,
                                             std::optional<std::string_view> message) {
    std::string r(JspSourceInfo::abnormalClientExitToken);
    r += fileId;
    for (std::int32_t n : {at.getJavaLine(), at.getJspStartLine(), at.getJspStartPos(),
                           at.getJspEndLine(), at.getJspEndPos()}) {
        r += '&';
        r += std::to_string(n);
    }
    if (message) {
        r += '&';
        r += safeField(*message);
    }
    return r;
}

std::string PageRuntimeRecords::abnormalExitFreeForm(std::string_view text) {
    return std::string(JspSourceInfo::abnormalClientExitToken) + std::string(text);
}

std::string PageRuntimeRecords::comment(std::string_view text) {
    return std::string(JspSourceInfo::commentToken) + std::string(text);
}

std::string PageRuntimeRecords::continueInfo() {
    return std::string(JspSourceInfo::continueToken);
}

std::string PageRuntimeRecords::positioned(std::string_view token, std::string_view fileId,
                                           std::string_view body) {
    std::string r(token);
    r += fileId;
    r += '&';
    r += body;
    return r;
}

std::string PageRuntimeRecords::framed(std::string_view record) {
    std::string r;
    r.reserve(record.size() + JspSourceInfo::infoEndingToken.size());
    r += record;
    r += JspSourceInfo::infoEndingToken;
    return r;
}

std::string PageRuntimeRecords::safeField(std::string_view text) {
    if (text.empty())
        return " ";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&')
            out += fullwidthAmpersand;
        else
            out += c;
    }
    return out;
}

} // namespace tracehook
