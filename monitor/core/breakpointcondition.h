#pragma once

#include "tracehook/pagevariables.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tracewin {

// The condition a breakpoint may carry: one comparison of a variable with a literal, such
// as "i == 3", "user != null", "name == \"Ann\"" or "order.total >= 10.5". The variable is
// named as the Variables view shows it; a dotted or indexed name ("order.total",
// "items[0]") follows the children of an entry. It is evaluated on what the page runtime
// sent for the stop, so it works with every runtime that sends variables.
class BreakpointCondition {
public:
    enum class Comparison { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

    // Reads a condition; nullopt, with a message for the user in *error, when it is not one.
    static std::optional<BreakpointCondition> parse(std::string_view text, std::string* error);

    // Whether the condition holds for the variables of a stop; nullopt when it cannot be
    // told (no such variable, or a value of another kind than the literal).
    std::optional<bool> holds(const std::vector<tracehook::PageVariable>& variables) const;

    // The condition as written, trimmed.
    const std::string& text() const { return text_; }

    // The entry a name leads to: the first variable of that name (outside group headings,
    // in the order the runtime sent them, so locals come before attributes), then its
    // children. Null when there is none.
    static const tracehook::PageVariable*
    find(const std::vector<tracehook::PageVariable>& variables, std::string_view name);

    friend bool operator==(const BreakpointCondition&, const BreakpointCondition&) = default;

private:
    enum class LiteralKind { Null, Boolean, Number, Text, Character };

    std::string text_;
    std::string variable_;
    Comparison comparison_ = Comparison::Equal;
    LiteralKind kind_ = LiteralKind::Null;
    std::string literal_; // Text and Character: unescaped; Boolean: "true" or "false"
    double number_ = 0;
};

} // namespace tracewin
