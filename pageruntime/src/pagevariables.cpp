#include "tracehook/pagevariables.h"

#include "tracehook/decimal.h"

#include <algorithm>

namespace tracehook {
namespace {

constexpr std::string_view kToken = "%V";
constexpr char kHex[] = "0123456789ABCDEF";

bool needsEscape(unsigned char c) {
    return c == '%' || c == '&' || c < 0x20 || c == 0x7F;
}

// Splits at "&" into at most the fields present; the record has no escaped "&" left.
std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t from = 0;
    while (true) {
        const std::size_t amp = text.find('&', from);
        out.push_back(text.substr(from, amp == std::string_view::npos ? amp : amp - from));
        if (amp == std::string_view::npos)
            return out;
        from = amp + 1;
    }
}

std::string flagsText(const PageVariable& v) {
    std::string flags;
    if (v.cut)
        flags += 'c';
    if (v.group)
        flags += 'g';
    return flags.empty() ? "-" : flags;
}

} // namespace

std::string PageVariables::encode(std::string_view text) {
    if (text.empty())
        return "%";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (needsEscape(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<std::string> PageVariables::decode(std::string_view text) {
    if (text == "%")
        return std::string();
    if (text.empty())
        return std::nullopt;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexDigitValue(text[i + 1]);
        const int low = hexDigitValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string PageVariables::record(std::string_view fileId,
                                  const std::vector<PageVariable>& entries) {
    const std::size_t count = std::min(entries.size(), maxEntries);
    std::string out(kToken);
    out += fileId;
    out += '&';
    out += std::to_string(count);
    for (std::size_t i = 0; i < count; ++i) {
        const PageVariable& v = entries[i];
        out += '&';
        out += std::to_string(v.depth);
        out += '&';
        out += flagsText(v);
        for (const std::string* text : {&v.name, &v.type, &v.value}) {
            out += '&';
            out += encode(*text);
        }
    }
    return out;
}

std::optional<PageVariables::Parsed> PageVariables::parse(std::string_view record) {
    if (!record.starts_with(kToken))
        return std::nullopt;
    const std::vector<std::string_view> f = fields(record.substr(kToken.size()));
    if (f.size() < 2 || f[0].empty())
        return std::nullopt;
    const std::optional<std::int32_t> count = parseDecimalInt32(f[1]);
    constexpr std::size_t perEntry = 5;
    if (!count || *count < 0 || f.size() != 2 + static_cast<std::size_t>(*count) * perEntry)
        return std::nullopt;
    Parsed parsed;
    parsed.fileId = std::string(f[0]);
    parsed.entries.reserve(static_cast<std::size_t>(*count));
    int previousDepth = -1;
    for (std::size_t at = 2; at < f.size(); at += perEntry) {
        PageVariable v;
        const std::optional<std::int32_t> depth = parseDecimalInt32(f[at]);
        if (!depth || *depth < 0 || *depth > previousDepth + 1)
            return std::nullopt;
        v.depth = *depth;
        previousDepth = *depth;
        if (f[at + 1].empty())
            return std::nullopt;
        v.cut = f[at + 1].find('c') != std::string_view::npos;
        v.group = f[at + 1].find('g') != std::string_view::npos;
        std::optional<std::string> name = decode(f[at + 2]);
        std::optional<std::string> type = decode(f[at + 3]);
        std::optional<std::string> value = decode(f[at + 4]);
        if (!name || !type || !value)
            return std::nullopt;
        v.name = std::move(*name);
        v.type = std::move(*type);
        v.value = std::move(*value);
        parsed.entries.push_back(std::move(v));
    }
    return parsed;
}

std::string PageVariables::cutValue(std::string value, bool* cut) {
    const bool tooLong = value.size() > maxValueBytes;
    if (cut)
        *cut = tooLong;
    if (!tooLong)
        return value;
    std::size_t end = maxValueBytes;
    // Back off continuation bytes so that no character is split.
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    value.resize(end);
    return value;
}

std::string PageVariables::quoted(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        switch (ch) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(ch) < 0x20) {
                out += "\\u00";
                out += kHex[(ch >> 4) & 0xF];
                out += kHex[ch & 0xF];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

} // namespace tracehook
