#include "core/htmltagtable.h"

#include "core/asciitext.h"

#include <algorithm>

namespace tracewin {

HtmlTagTable::HtmlTagTable() {
    init();
}

const HtmlTagTable& HtmlTagTable::createHtmlTagTable() {
    static const HtmlTagTable shared;
    return shared;
}

void HtmlTagTable::init() {
    struct Entry {
        const char* name;
        int level;
        int rule;
    };
    static constexpr Entry entries[] = {
        {"!DOCTYPE", 4, 0}, {"A", 3, 2},          {"ABBR", 2, 2},     {"ACRONYM", 2, 2},
        {"ADDRESS", 0, 2},  {"APPLET", 2, 2},     {"AREA", 0, 0},     {"B", 2, 2},
        {"BANNER", 2, 2},   {"BASE", 5, 0},       {"BASEFONT", 2, 0}, {"BDO", 2, 2},
        {"BIG", 2, 2},      {"BLOCKQUOTE", 0, 2}, {"BODY", 0, 1},     {"BR", 2, 0},
        {"BUTTON", 2, 2},   {"CAPTION", 2, 2},    {"CENTER", 0, 2},   {"CITE", 2, 2},
        {"CODE", 2, 2},     {"COL", 0, 0},        {"COLGROUP", 0, 1}, {"DD", 0, 1},
        {"DEL", 0, 2},      {"DFN", 2, 2},        {"DIV", 0, 2},      {"DL", 0, 2},
        {"DT", 0, 1},       {"EM", 2, 2},         {"FIELDSET", 0, 2}, {"FONT", 2, 2},
        {"FORM", 0, 2},     {"H1", 0, 2},         {"H2", 0, 2},       {"H3", 0, 2},
        {"H4", 0, 2},       {"H5", 0, 2},         {"H6", 0, 2},       {"HEAD", 0, 1},
        {"HR", 0, 0},       {"HTML", 0, 1},       {"I", 0, 2},        {"IFRAME", 0, 2},
        {"IMG", 2, 0},      {"INPUT", 2, 0},      {"INS", 0, 2},      {"ISINDEX", 5, 0},
        {"KBD", 2, 2},      {"LABEL", 2, 2},      {"LEGEND", 2, 2},   {"LI", 0, 1},
        {"LINK", 4, 0},     {"MAP", 2, 2},        {"MENU", 0, 2},     {"META", 5, 0},
        {"NOFRAMES", 0, 2}, {"NOSCRIPT", 0, 2},   {"OBJECT", 0, 2},   {"OL", 0, 2},
        {"OPTGROUP", 0, 2}, {"OPTION", 2, 1},     {"P", 1, 1},        {"PARAM", 2, 0},
        {"PRE", 1, 2},      {"Q", 0, 2},          {"S", 2, 2},        {"SAMP", 0, 2},
        {"SCRIPT", 0, 2},   {"SELECT", 0, 2},     {"SMALL", 2, 2},    {"SPAN", 0, 2},
        {"STRIKE", 2, 2},   {"STRONG", 2, 2},     {"STYLE", 0, 2},    {"SUB", 2, 2},
        {"SUP", 2, 2},      {"TABLE", 0, 2},      {"TBODY", 0, 1},    {"TD", 0, 1},
        {"TEXTAREA", 2, 2}, {"TFOOT", 0, 1},      {"TH", 0, 1},       {"THEAD", 0, 1},
        {"TITLE", 0, 2},    {"TR", 0, 1},         {"TT", 2, 2},       {"U", 2, 2},
        {"UL", 0, 2},       {"VAR", 2, 2},
    };
    for (const Entry& e : entries)
        add(e.name, HtmlType(e.level, e.rule));
}

std::size_t HtmlTagTable::slotOf(std::string_view upperName) {
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (char c : upperName)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash % kSlots;
}

void HtmlTagTable::add(std::string_view upperName, HtmlType type) {
    std::size_t i = slotOf(upperName);
    while (slots_[i].length != 0)
        i = (i + 1) % kSlots;
    std::copy(upperName.begin(), upperName.end(), slots_[i].name.begin());
    slots_[i].length = static_cast<std::uint8_t>(upperName.size());
    slots_[i].type = type;
    ++size_;
}

HtmlType HtmlTagTable::getHtmlType(std::string_view tagBody) const {
    if (tagBody.substr(0, 3) == "!--")
        return commentType;
    std::size_t start = 0;
    while (start < tagBody.size() && isAsciiSpace(tagBody[start]))
        ++start;
    std::size_t end = start;
    while (end < tagBody.size() && !isAsciiSpace(tagBody[end]))
        ++end;
    // Every name in the table is short: a longer word is not one of them, and a short one
    // is upper-cased on the stack.
    char word[kLongestName];
    const std::size_t length = end - start;
    if (length > kLongestName)
        return xmlType;
    for (std::size_t i = 0; i < length; ++i)
        word[i] = asciiUpper(tagBody[start + i]);
    const std::string_view name(word, length);
    for (std::size_t i = slotOf(name); slots_[i].length != 0; i = (i + 1) % kSlots) {
        const Slot& slot = slots_[i];
        if (std::string_view(slot.name.data(), slot.length) == name)
            return slot.type;
    }
    return xmlType;
}

} // namespace tracewin
