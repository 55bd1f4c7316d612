#include "jdwp/jaspernames.h"

#include "jdwp/error.h"
#include "jdwp/utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace jdwp {

namespace {

constexpr std::string_view pagePackage = "org.apache.jsp";
constexpr std::string_view tagFilePackage = "org.apache.jsp.tag.web";
constexpr std::string_view tagFileFolder = "/WEB-INF/tags/";

// Jasper's list (JspUtil.javaKeywords), sorted: true, false and null are not in it.
constexpr std::array<std::string_view, 50> javaKeywords = {
    "abstract", "assert", "boolean",    "break",     "byte",       "case",      "catch",
    "char",     "class",  "const",      "continue",  "default",    "do",        "double",
    "else",     "enum",   "extends",    "final",     "finally",    "float",     "for",
    "goto",     "if",     "implements", "import",    "instanceof", "int",       "interface",
    "long",     "native", "new",        "package",   "private",    "protected", "public",
    "return",   "short",  "static",     "strictfp",  "super",      "switch",    "synchronized",
    "this",     "throw",  "throws",     "transient", "try",        "void",      "volatile",
    "while"};

// Where a UTF-16 unit may stand in a Java identifier, as Java's Character class says:
// nowhere, anywhere but first, or anywhere.
enum class IdentifierUse { None, Inside, Start };

struct UnitRange {
    char16_t first;
    char16_t last;
    IdentifierUse use;
};

// Units from U+0100 up that are not letters. Everything from U+0100 not listed counts as
// a letter. Exact for the punctuation, symbol, private-use and surrogate blocks listed
// here; approximated elsewhere: a script's own digits, combining marks, punctuation and
// unassigned code points count as letters, which only matters for the first character
// (Java would put "_" before a digit or mark) or for a rare punctuation mark (Java would
// mangle it).
constexpr UnitRange nonLetters[] = {
    {0x02C2, 0x02C5, IdentifierUse::None},   {0x02D2, 0x02DF, IdentifierUse::None},
    {0x02E5, 0x02EB, IdentifierUse::None},   {0x02ED, 0x02ED, IdentifierUse::None},
    {0x02EF, 0x02FF, IdentifierUse::None},   {0x0300, 0x036F, IdentifierUse::Inside},
    {0x2000, 0x200A, IdentifierUse::None},   {0x200B, 0x200F, IdentifierUse::Inside},
    {0x2010, 0x2029, IdentifierUse::None},   {0x202A, 0x202E, IdentifierUse::Inside},
    {0x202F, 0x203E, IdentifierUse::None},   {0x2041, 0x2053, IdentifierUse::None},
    {0x2055, 0x205F, IdentifierUse::None},   {0x2060, 0x2064, IdentifierUse::Inside},
    {0x2065, 0x2065, IdentifierUse::None},   {0x2066, 0x206F, IdentifierUse::Inside},
    {0x2070, 0x2070, IdentifierUse::None},   {0x2072, 0x207E, IdentifierUse::None},
    {0x2080, 0x208F, IdentifierUse::None},   {0x209D, 0x209F, IdentifierUse::None},
    {0x20C0, 0x20CF, IdentifierUse::None},   {0x20D0, 0x20DC, IdentifierUse::Inside},
    {0x20DD, 0x20E0, IdentifierUse::None},   {0x20E1, 0x20E1, IdentifierUse::Inside},
    {0x20E2, 0x20E4, IdentifierUse::None},   {0x20E5, 0x20F0, IdentifierUse::Inside},
    {0x20F1, 0x20FF, IdentifierUse::None},   {0x2150, 0x215F, IdentifierUse::None},
    {0x2189, 0x218F, IdentifierUse::None},   {0x2190, 0x2BFF, IdentifierUse::None},
    {0x2E00, 0x2E7F, IdentifierUse::None},   {0x2E80, 0x2FFF, IdentifierUse::None},
    {0x3000, 0x3004, IdentifierUse::None},   {0x3008, 0x3020, IdentifierUse::None},
    {0x302A, 0x302F, IdentifierUse::Inside}, {0x3030, 0x3030, IdentifierUse::None},
    {0x3036, 0x3037, IdentifierUse::None},   {0x303D, 0x3040, IdentifierUse::None},
    {0x3099, 0x309A, IdentifierUse::Inside}, {0x309B, 0x309C, IdentifierUse::None},
    {0x30A0, 0x30A0, IdentifierUse::None},   {0x30FB, 0x30FB, IdentifierUse::None},
    {0x318F, 0x319F, IdentifierUse::None},   {0x31C0, 0x31EF, IdentifierUse::None},
    {0x3200, 0x33FF, IdentifierUse::None},   {0x4DC0, 0x4DFF, IdentifierUse::None},
    {0xD800, 0xF8FF, IdentifierUse::None},   {0xFE00, 0xFE0F, IdentifierUse::Inside},
    {0xFE10, 0xFE1F, IdentifierUse::None},   {0xFE20, 0xFE2F, IdentifierUse::Inside},
    {0xFE30, 0xFE32, IdentifierUse::None},   {0xFE35, 0xFE4C, IdentifierUse::None},
    {0xFE50, 0xFE68, IdentifierUse::None},   {0xFE6A, 0xFE6F, IdentifierUse::None},
    {0xFEFF, 0xFEFF, IdentifierUse::Inside}, {0xFF00, 0xFF03, IdentifierUse::None},
    {0xFF05, 0xFF0F, IdentifierUse::None},   {0xFF10, 0xFF19, IdentifierUse::Inside},
    {0xFF1A, 0xFF20, IdentifierUse::None},   {0xFF3B, 0xFF3E, IdentifierUse::None},
    {0xFF40, 0xFF40, IdentifierUse::None},   {0xFF5B, 0xFF65, IdentifierUse::None},
    {0xFFE2, 0xFFE4, IdentifierUse::None},   {0xFFE7, 0xFFF8, IdentifierUse::None},
    {0xFFF9, 0xFFFB, IdentifierUse::Inside}, {0xFFFC, 0xFFFF, IdentifierUse::None},
};

// Exact below U+0100, from Java's rules: letters, currency signs and "_" start an
// identifier; digits and the control characters Java ignores in identifiers may follow.
IdentifierUse latin1Use(char16_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$')
        return IdentifierUse::Start;
    if (c >= '0' && c <= '9')
        return IdentifierUse::Inside;
    if (c <= 0x08 || (c >= 0x0E && c <= 0x1B) || (c >= 0x7F && c <= 0x9F) || c == 0xAD)
        return IdentifierUse::Inside;
    if ((c >= 0xA2 && c <= 0xA5) || c == 0xAA || c == 0xB5 || c == 0xBA)
        return IdentifierUse::Start;
    if (c >= 0xC0 && c != 0xD7 && c != 0xF7)
        return IdentifierUse::Start;
    return IdentifierUse::None;
}

IdentifierUse identifierUse(char16_t c) {
    if (c < 0x100)
        return latin1Use(c);
    const auto* range =
        std::upper_bound(std::begin(nonLetters), std::end(nonLetters), c,
                         [](char16_t u, const UnitRange& r) { return u < r.first; });
    if (range != std::begin(nonLetters) && c <= std::prev(range)->last)
        return std::prev(range)->use;
    return IdentifierUse::Start;
}

// Jasper works on Java strings: a segment's UTF-16 units, from its UTF-8 bytes.
std::u16string utf16(std::string_view utf8) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80                   ? 1
                           : lead >= 0xC2 && lead < 0xE0 ? 2
                           : lead >= 0xE0 && lead < 0xF0 ? 3
                           : lead >= 0xF0 && lead < 0xF5 ? 4
                                                         : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > utf8.size())
            throw Error("JSP path is not valid UTF-8 at byte " + std::to_string(i));
        std::uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto cont = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((cont & 0xC0) != 0x80)
                throw Error("JSP path is not valid UTF-8 at byte " + std::to_string(i));
            cp = (cp << 6) | (cont & 0x3F);
        }
        constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            throw Error("JSP path is not valid UTF-8 at byte " + std::to_string(i));
        if (cp >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
        i += static_cast<std::size_t>(length);
    }
    return units;
}

void appendMangled(std::string& out, char16_t unit) {
    constexpr char hex[] = "0123456789abcdef";
    out += '_';
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hex[(unit >> shift) & 0xF];
}

// JspUtil.makeJavaPackage: the segments of a path, empty ones left out, joined by ".".
std::string javaPackage(std::string_view path) {
    std::string package;
    while (!path.empty()) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        if (slash > 0) {
            if (!package.empty())
                package += '.';
            package += JasperNames::javaIdentifier(path.substr(0, slash));
        }
        path.remove_prefix(std::min(slash + 1, path.size()));
    }
    return package;
}

bool isTagFile(std::string_view path) {
    return path.starts_with(tagFileFolder) && (path.ends_with(".tag") || path.ends_with(".tagx"));
}

} // namespace

std::string JasperNames::javaIdentifier(std::string_view segment) {
    const std::u16string units = utf16(segment);
    std::string id;
    if (units.empty() || identifierUse(units.front()) != IdentifierUse::Start)
        id += '_';
    for (const char16_t unit : units) {
        if (unit != '_' && identifierUse(unit) != IdentifierUse::None)
            appendUtf8(id, unit);
        else if (unit == '.')
            id += '_';
        else
            appendMangled(id, unit);
    }
    if (std::binary_search(javaKeywords.begin(), javaKeywords.end(), id))
        id += '_';
    return id;
}

JasperNames::JasperNames(std::string_view path) {
    if (!path.starts_with('/'))
        throw Error("JSP path " + std::string(path) + " does not start with /");
    const std::size_t lastSlash = path.rfind('/');
    if (lastSlash + 1 == path.size())
        throw Error("JSP path " + std::string(path) + " has no file name");
    if (isTagFile(path)) {
        className_ =
            std::string(tagFilePackage) + '.' + javaPackage(path.substr(tagFileFolder.size()));
        return;
    }
    const std::string folders = javaPackage(path.substr(1, lastSlash));
    className_ = std::string(pagePackage) + '.' + (folders.empty() ? "" : folders + '.') +
                 javaIdentifier(path.substr(lastSlash + 1));
}

std::string JasperNames::signature() const {
    std::string sig = "L" + className_ + ";";
    std::replace(sig.begin(), sig.end(), '.', '/');
    return sig;
}

std::vector<std::string> JasperNames::classPreparePatterns() const {
    return {className_, className_ + "$*"};
}

bool JasperNames::owns(std::string_view name) const {
    return name.starts_with(className_) &&
           (name.size() == className_.size() || name[className_.size()] == '$');
}

} // namespace jdwp
