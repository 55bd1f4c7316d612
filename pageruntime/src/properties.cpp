#include "tracehook/properties.h"

#include "tracehook/decimal.h"

#include <fstream>
#include <sstream>

namespace tracehook {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\f';
}

// Splits text into logical lines: physical lines joined where a line ends with an odd
// number of backslashes, leading blanks of each continuation line dropped.
std::vector<std::string> logicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    bool continuing = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view physical = text.substr(pos, end - pos);
        if (continuing) {
            std::size_t first = 0;
            while (first < physical.size() && isBlank(physical[first]))
                ++first;
            physical.remove_prefix(first);
        } else {
            std::size_t first = 0;
            while (first < physical.size() && isBlank(physical[first]))
                ++first;
            if (first < physical.size() && (physical[first] == '#' || physical[first] == '!')) {
                physical = {};
            }
        }
        std::size_t backslashes = 0;
        while (backslashes < physical.size() && physical[physical.size() - 1 - backslashes] == '\\')
            ++backslashes;
        bool continues = backslashes % 2 == 1;
        if (continues)
            physical.remove_suffix(1);
        current.append(physical);
        if (continues && end < text.size()) {
            continuing = true;
        } else {
            lines.push_back(std::move(current));
            current.clear();
            continuing = false;
        }
        if (end >= text.size())
            break;
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
        if (pos == text.size())
            break;
    }
    return lines;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Reads one escaped character at text[i] (just after a backslash); advances i.
void unescapeOne(std::string_view text, std::size_t& i, std::string& out) {
    char c = text[i++];
    switch (c) {
    case 't':
        out.push_back('\t');
        return;
    case 'n':
        out.push_back('\n');
        return;
    case 'r':
        out.push_back('\r');
        return;
    case 'f':
        out.push_back('\f');
        return;
    case 'u': {
        char32_t cp = 0;
        std::size_t digits = 0;
        while (digits < 4 && i < text.size() && hexDigitValue(text[i]) >= 0) {
            cp = cp * 16 + static_cast<char32_t>(hexDigitValue(text[i]));
            ++i;
            ++digits;
        }
        if (digits < 4) {
            // A malformed escape is kept as it was written rather than rejecting the file.
            out.append("\\u");
            out.append(text.substr(i - digits, digits));
            return;
        }
        // A surrogate pair written as two escapes becomes one code point.
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 6 <= text.size() && text[i] == '\\' &&
            text[i + 1] == 'u') {
            char32_t low = 0;
            bool ok = true;
            for (std::size_t k = 0; k < 4; ++k) {
                int h = hexDigitValue(text[i + 2 + k]);
                if (h < 0) {
                    ok = false;
                    break;
                }
                low = low * 16 + static_cast<char32_t>(h);
            }
            if (ok && low >= 0xDC00 && low <= 0xDFFF) {
                i += 6;
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        appendUtf8(out, cp);
        return;
    }
    default:
        out.push_back(c);
        return;
    }
}

} // namespace

Properties Properties::parse(std::string_view text) {
    Properties props;
    for (const std::string& line : logicalLines(text)) {
        std::size_t i = 0;
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            continue;
        std::string key;
        while (i < line.size()) {
            char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                ++i;
                unescapeOne(line, i, key);
                continue;
            }
            if (c == '\\') { // a lone backslash at the end of the last line
                ++i;
                continue;
            }
            if (c == '=' || c == ':' || isBlank(c))
                break;
            key.push_back(c);
            ++i;
        }
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i < line.size() && (line[i] == '=' || line[i] == ':')) {
            ++i;
            while (i < line.size() && isBlank(line[i]))
                ++i;
        }
        std::string value;
        while (i < line.size()) {
            char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                ++i;
                unescapeOne(line, i, value);
                continue;
            }
            if (c != '\\')
                value.push_back(c);
            ++i;
        }
        props.set(std::move(key), std::move(value));
    }
    return props;
}

std::optional<Properties> Properties::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return parse(text.str());
}

const Properties::Entry* Properties::find(std::string_view key) const {
    for (const Entry& e : entries_) {
        if (e.first == key)
            return &e;
    }
    return nullptr;
}

std::optional<std::string> Properties::get(std::string_view key) const {
    if (const Entry* e = find(key))
        return e->second;
    return std::nullopt;
}

std::string Properties::value(std::string_view key, std::string_view fallback) const {
    if (const Entry* e = find(key))
        return e->second;
    return std::string(fallback);
}

void Properties::set(std::string key, std::string value) {
    for (Entry& e : entries_) {
        if (e.first == key) {
            e.second = std::move(value);
            return;
        }
    }
    entries_.emplace_back(std::move(key), std::move(value));
}

bool Properties::remove(std::string_view key) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->first == key) {
            entries_.erase(it);
            return true;
        }
    }
    return false;
}

namespace {
std::string escape(std::string_view text, bool isKey) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\f':
            out += "\\f";
            break;
        case '=':
        case ':':
            if (isKey)
                out.push_back('\\');
            out.push_back(c);
            break;
        case '#':
        case '!':
            if (isKey && i == 0)
                out.push_back('\\');
            out.push_back(c);
            break;
        case ' ':
            if (isKey || i == 0)
                out.push_back('\\');
            out.push_back(c);
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}
} // namespace

std::string Properties::escapeKey(std::string_view key) {
    return escape(key, true);
}
std::string Properties::escapeValue(std::string_view value) {
    return escape(value, false);
}

std::string Properties::toText() const {
    std::string out;
    for (const Entry& e : entries_) {
        out += escapeKey(e.first);
        out += '=';
        out += escapeValue(e.second);
        out += '\n';
    }
    return out;
}

} // namespace tracehook
