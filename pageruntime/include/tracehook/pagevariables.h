#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tracehook {

// One entry of what a page holds at a stop. The entries of a record form a tree written in
// pre-order: an entry's children follow it with a depth one greater.
struct PageVariable {
    int depth = 0;
    std::string name;
    std::string type;   // as the page's language names it: "int", "java.lang.String"
    std::string value;  // as a debugger shows it: 3, "Ann" (quoted), null, java.util.ArrayList@12
    bool cut = false;   // the value was cut to PageVariables::maxValueBytes
    bool group = false; // a heading for the entries below it (a scope), with no value

    friend bool operator==(const PageVariable&, const PageVariable&) = default;
};

// The variables record "%V", which a page runtime sends just before each "%L" while the
// monitor asks for it (SendVariables=true in its debug settings file, see VariablesSwitch):
//
//   "%V" F "&" n, then for each of the n entries "&" depth "&" flags "&" name "&" type
//   "&" value
//
// depth is a decimal from 0; flags is "-" or letters: "c" the value was cut, "g" the entry
// is a group heading. Unknown flag letters are ignored. Each text is percent-encoded so that
// any text survives: "%", "&", and every byte below 0x20 or equal to 0x7F are written as "%"
// and two upper-case hex digits, so that no text can hold the record terminator, and an
// empty text is a single "%". The entries' depths start at 0 and grow by at most one from
// an entry to the next.
//
// The monitor answers with a continue reply and the page does not move for it: the "%L" of
// the same stop follows.
class PageVariables {
public:
    // The group headings both runtimes use, in this order, each only when it has entries.
    static constexpr const char* localsGroup = "Locals";
    static constexpr const char* parametersGroup = "Request parameters";
    static constexpr const char* pageAttributesGroup = "Page attributes";
    static constexpr const char* requestAttributesGroup = "Request attributes";
    static constexpr const char* sessionAttributesGroup = "Session attributes";
    static constexpr const char* applicationAttributesGroup = "Application attributes";
    static constexpr const char* fieldsGroup = "Page fields"; // this page's declarations

    // Values longer than this are cut (at a character boundary) and flagged.
    static constexpr std::size_t maxValueBytes = 1000;
    // A runtime sends at most this many entries; the rest are left out.
    static constexpr std::size_t maxEntries = 2000;
    // And at most this many children under one entry.
    static constexpr std::size_t maxChildren = 100;

    // The record without its terminator. Entries past maxEntries are dropped.
    static std::string record(std::string_view fileId, const std::vector<PageVariable>& entries);

    struct Parsed {
        std::string fileId;
        std::vector<PageVariable> entries;
    };
    // Reads a record text (without its terminator); nullopt when it is not a well-formed
    // variables record.
    static std::optional<Parsed> parse(std::string_view record);

    // A value cut to maxValueBytes without splitting a UTF-8 character; *cut tells whether
    // anything was taken off.
    static std::string cutValue(std::string value, bool* cut);

    // Java's way of showing a text value: quoted, with quotes, backslashes and control
    // characters escaped.
    static std::string quoted(std::string_view text);

    static std::string encode(std::string_view text);
    static std::optional<std::string> decode(std::string_view text);
};

} // namespace tracehook
