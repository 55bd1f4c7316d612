#include "tracehook/compileerrorcodes.h"
#include "tracehook/decimal.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/tracer.h"

#include <array>

namespace tracehook {
namespace {

// The fields after the token, cut at every "&"; runs of "&" count as one separator. No
// record has more than ten: the first ten are kept, and the count says how many there were.
// Kept in place, as every record is parsed on the way in.
class Fields {
public:
    explicit Fields(std::string_view body) {
        std::size_t pos = 0;
        while (pos < body.size()) {
            std::size_t amp = body.find('&', pos);
            if (amp == std::string_view::npos)
                amp = body.size();
            if (amp > pos) {
                if (count_ < kept_.size())
                    kept_[count_] = body.substr(pos, amp - pos);
                ++count_;
            }
            pos = amp + 1;
        }
    }
    std::size_t size() const { return count_; }
    // Only for i below both size() and 10.
    std::string_view operator[](std::size_t i) const { return kept_[i]; }

private:
    std::array<std::string_view, 10> kept_;
    std::size_t count_ = 0;
};

struct Span {
    std::int32_t javaLine, startLine, startPos, endLine, endPos;
};

// Fields 1..5 as the Java line and the JSP span.
std::optional<Span> toSpan(const Fields& f, std::string_view lastField) {
    auto jl = parseDecimalInt32(f[1]), sl = parseDecimalInt32(f[2]), sp = parseDecimalInt32(f[3]),
         el = parseDecimalInt32(f[4]), ep = parseDecimalInt32(lastField);
    if (!jl || !sl || !sp || !el || !ep)
        return std::nullopt;
    return Span{*jl, *sl, *sp, *el, *ep};
}

std::optional<JspSourceInfo> positioned(int type, std::string_view body) {
    const Fields f(body);
    if (f.size() != 6)
        return std::nullopt;
    std::optional<Span> s = toSpan(f, f[5]);
    if (!s)
        return std::nullopt;
    return JspSourceInfo(type, std::string(f[0]), s->javaLine, s->startLine, s->startPos,
                         s->endLine, s->endPos);
}

std::optional<JspSourceInfo> parseHtml(std::string_view record) {
    std::size_t amp = record.find('&', 2);
    if (amp == std::string_view::npos || amp + 1 == record.size())
        return std::nullopt;
    return JspSourceInfo(std::string(record.substr(2, amp - 2)),
                         std::string(record.substr(amp + 1)), JspSourceInfo::HTML_INFO);
}

std::optional<JspSourceInfo> parseCompileError(std::string_view body) {
    const Fields f(body);
    if (f.size() != 10)
        return std::nullopt;
    std::int32_t n[9] = {};
    for (std::size_t i : {1, 2, 3, 4, 5, 6, 7, 9}) {
        std::optional<std::int32_t> v = parseDecimalInt32(f[i]);
        if (!v)
            return std::nullopt;
        n[i == 9 ? 8 : i] = *v;
    }
    JspSourceInfo info{std::string(f[0]), n[1], n[2], n[3], n[4], n[5], n[6], n[7],
                       std::string(f[8]), n[8]};
    Tracer::trace("tracehook", "infoStrParser",
                  "Received syntax error: \n\terrType: " + std::to_string(info.getErrType()) +
                      "\n\tJava position: " + std::to_string(info.getJavaLine()) + ", " +
                      std::to_string(info.getJavaPos()) +
                      "\n\tJspPosition: " + std::to_string(info.getJspStartLine()) + ", " +
                      std::to_string(info.getJspStartPos()) + "; " +
                      std::to_string(info.getJspEndLine()) + ", " +
                      std::to_string(info.getJspEndPos()) +
                      "\n\tError message: " + info.getErrMsg().value_or("") +
                      "\n\tError status: " + std::to_string(info.getErrStatus()));
    return info;
}

std::optional<JspSourceInfo> parseAbnormalExit(std::string_view body) {
    const Fields f(body);
    if (f.size() != 6 && f.size() != 7)
        return JspSourceInfo(std::string(body), JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND);
    // The end position may carry trailing text ("0X"): it is cut before its first non-digit.
    std::string_view endPos = f[5];
    std::size_t digits = 0;
    while (digits < endPos.size() && endPos[digits] >= '0' && endPos[digits] <= '9')
        ++digits;
    std::optional<Span> s = toSpan(f, endPos.substr(0, digits));
    if (!s)
        return std::nullopt;
    if (f.size() == 7) {
        return JspSourceInfo(JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND, std::string(f[0]),
                             s->javaLine, s->startLine, s->startPos, s->endLine, s->endPos,
                             std::string(f[6]));
    }
    return JspSourceInfo(JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND, std::string(f[0]),
                         s->javaLine, s->startLine, s->startPos, s->endLine, s->endPos);
}

} // namespace

std::optional<JspSourceInfo> infoStrParser(std::string_view record) {
    if (record.size() < 2)
        return std::nullopt;
    const std::string_view token = record.substr(0, 2);
    const std::string_view body = record.substr(2);

    if (token == JspLineSourceInfo::lineInfoStrToken)
        return positioned(JspSourceInfo::LINE_INFO, body);
    if (token == JspSourceInfo::htmlInfoToken)
        return parseHtml(record);
    if (token == JspSourceInfo::fileInfoToken) {
        const Fields f(body);
        if (f.size() != 3)
            return std::nullopt;
        return JspSourceInfo(std::string(f[0]), std::string(f[1]), std::string(f[2]), false);
    }
    if (token == JspSourceInfo::compileErrFileToken) {
        const Fields f(body);
        if (f.size() != 3 && f.size() != 2)
            return std::nullopt;
        JspSourceInfo::Text java =
            f.size() == 3 ? JspSourceInfo::Text(std::string(f[2])) : std::nullopt;
        return JspSourceInfo(std::string(f[0]), std::string(f[1]), java, true);
    }
    if (token == JspSourceInfo::compileErrToken)
        return parseCompileError(body);
    if (token == JspSourceInfo::clientExitToken)
        return JspSourceInfo();
    if (token == JspSourceInfo::abnormalClientExitToken)
        return parseAbnormalExit(body);
    if (token == JspSourceInfo::resumeHighlightInfoToken)
        return positioned(JspSourceInfo::RESUME_HIGHLIGHT_INFO, body);
    if (token == JspSourceInfo::continueToken)
        return JspSourceInfo(std::string(" "), JspSourceInfo::CONTINUE_INFO);
    if (token == JspSourceInfo::switchFileToken)
        return positioned(JspSourceInfo::SWITCH_FILE_INFO, body);
    if (token == JspSourceInfo::commentToken)
        return JspSourceInfo(std::string(body));
    return std::nullopt;
}

} // namespace tracehook
