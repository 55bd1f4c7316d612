#include "core/breakpointcondition.h"

#include <charconv>
#include <cmath>

namespace tracewin {
namespace {

using tracehook::PageVariable;

constexpr const char* kShape =
    "Write a condition as a variable, a comparison and a value, such as i == 3, "
    "user != null or name == \"Ann\".";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

// The segments of a variable name: "a.b[2]" is "a", "b", "[2]". Empty when it is not a name.
std::vector<std::string_view> segments(std::string_view name) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    auto identifier = [&]() -> bool {
        if (i >= name.size() || !isNameStart(name[i]))
            return false;
        const std::size_t from = i;
        while (i < name.size() && isNameChar(name[i]))
            ++i;
        out.push_back(name.substr(from, i - from));
        return true;
    };
    if (!identifier())
        return {};
    while (i < name.size()) {
        if (name[i] == '.') {
            ++i;
            if (!identifier())
                return {};
        } else if (name[i] == '[') {
            const std::size_t from = i++;
            while (i < name.size() && name[i] >= '0' && name[i] <= '9')
                ++i;
            if (i == from + 1 || i >= name.size() || name[i] != ']')
                return {};
            ++i;
            out.push_back(name.substr(from, i - from));
        } else {
            return {};
        }
    }
    return out;
}

std::optional<double> number(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        return std::nullopt;
    if (!text.empty() && std::string_view("LlFfDd").find(text.back()) != std::string_view::npos)
        text.remove_suffix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// The text inside a Java string or character literal, its escapes undone; nullopt when the
// text is not one literal quoted with quote.
std::optional<std::string> unquoted(std::string_view text, char quote) {
    if (text.size() < 2 || text.front() != quote || text.back() != quote)
        return std::nullopt;
    text = text.substr(1, text.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == quote)
            return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case '0':
            out += '\0';
            break;
        case 'u': {
            unsigned code = 0;
            if (i + 4 >= text.size())
                return std::nullopt;
            const auto [end, ec] =
                std::from_chars(text.data() + i + 1, text.data() + i + 5, code, 16);
            if (ec != std::errc() || end != text.data() + i + 5)
                return std::nullopt;
            i += 4;
            // As UTF-8 (surrogates stay as they are written).
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
            break;
        }
        default:
            out += text[i]; // \" \' \\ and anything else: the character itself
        }
    }
    return out;
}

std::size_t codePoints(const std::string& text) {
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

template <class T> bool compare(const T& a, const T& b, BreakpointCondition::Comparison c) {
    using C = BreakpointCondition::Comparison;
    switch (c) {
    case C::Equal:
        return a == b;
    case C::NotEqual:
        return a != b;
    case C::Less:
        return a < b;
    case C::LessEqual:
        return a <= b;
    case C::Greater:
        return a > b;
    case C::GreaterEqual:
        return a >= b;
    }
    return false;
}

bool isOrdering(BreakpointCondition::Comparison c) {
    return c != BreakpointCondition::Comparison::Equal &&
           c != BreakpointCondition::Comparison::NotEqual;
}

// The index after the children of entry at.
std::size_t afterChildren(const std::vector<PageVariable>& v, std::size_t at) {
    std::size_t next = at + 1;
    while (next < v.size() && v[next].depth > v[at].depth)
        ++next;
    return next;
}

} // namespace

std::optional<BreakpointCondition> BreakpointCondition::parse(std::string_view text,
                                                              std::string* error) {
    auto fail = [&](std::string message) -> std::optional<BreakpointCondition> {
        if (error)
            *error = std::move(message);
        return std::nullopt;
    };
    text = trimmed(text);
    // The comparison: the first of these operators outside the literal (names hold none).
    static constexpr std::pair<std::string_view, Comparison> kOperators[] = {
        {"==", Comparison::Equal},     {"!=", Comparison::NotEqual},
        {"<=", Comparison::LessEqual}, {">=", Comparison::GreaterEqual},
        {"<", Comparison::Less},       {">", Comparison::Greater}};
    std::size_t at = text.size();
    std::size_t length = 0;
    Comparison comparison = Comparison::Equal;
    for (std::size_t i = 0; i < text.size() && at == text.size(); ++i) {
        if (text[i] == '"' || text[i] == '\'')
            break;
        for (const auto& [op, c] : kOperators) {
            if (text.substr(i, op.size()) == op) {
                at = i;
                length = op.size();
                comparison = c;
                break;
            }
        }
    }
    if (at == text.size())
        return fail(text.find('=') != std::string_view::npos
                        ? std::string("Compare with == (a single = would set the variable). ") +
                              kShape
                        : std::string(kShape));
    BreakpointCondition condition;
    condition.text_ = std::string(text);
    condition.comparison_ = comparison;
    const std::string_view name = trimmed(text.substr(0, at));
    if (segments(name).empty())
        return fail("\"" + std::string(name) + "\" is not a variable name. " + kShape);
    condition.variable_ = std::string(name);
    const std::string_view literal = trimmed(text.substr(at + length));
    if (literal.empty())
        return fail(kShape);
    if (literal == "null") {
        condition.kind_ = LiteralKind::Null;
    } else if (literal == "true" || literal == "false") {
        condition.kind_ = LiteralKind::Boolean;
        condition.literal_ = std::string(literal);
    } else if (std::optional<double> n = number(literal)) {
        condition.kind_ = LiteralKind::Number;
        condition.number_ = *n;
    } else if (std::optional<std::string> s = unquoted(literal, '"')) {
        condition.kind_ = LiteralKind::Text;
        condition.literal_ = std::move(*s);
    } else if (std::optional<std::string> ch = unquoted(literal, '\'');
               ch && codePoints(*ch) == 1) {
        condition.kind_ = LiteralKind::Character;
        condition.literal_ = std::move(*ch);
    } else {
        return fail(std::string(literal) +
                    " is not a value: write a number, text in double quotes, a character in "
                    "single quotes, true, false or null.");
    }
    if (isOrdering(comparison) &&
        (condition.kind_ == LiteralKind::Null || condition.kind_ == LiteralKind::Boolean))
        return fail(std::string(literal) + " can only be compared with == or !=.");
    return condition;
}

const PageVariable* BreakpointCondition::find(const std::vector<PageVariable>& variables,
                                              std::string_view name) {
    const std::vector<std::string_view> path = segments(name);
    if (path.empty())
        return nullptr;
    // The variables: entries at the top outside headings, and the entries of headings.
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < variables.size() && !found; ++i) {
        const PageVariable& v = variables[i];
        if (v.group || v.name != path.front())
            continue;
        const bool top = v.depth == 0;
        bool inGroup = false;
        if (v.depth == 1) {
            for (std::size_t j = i; j-- > 0;) {
                if (variables[j].depth == 0) {
                    inGroup = variables[j].group;
                    break;
                }
            }
        }
        if (top || inGroup)
            found = i;
    }
    for (std::size_t step = 1; found && step < path.size(); ++step) {
        const std::size_t parent = *found;
        const std::size_t end = afterChildren(variables, parent);
        found.reset();
        for (std::size_t i = parent + 1; i < end; ++i) {
            if (variables[i].depth == variables[parent].depth + 1 &&
                variables[i].name == path[step]) {
                found = i;
                break;
            }
        }
    }
    return found ? &variables[*found] : nullptr;
}

std::optional<bool> BreakpointCondition::holds(const std::vector<PageVariable>& variables) const {
    const PageVariable* v = find(variables, variable_);
    if (!v || v->group || v->cut)
        return std::nullopt;
    const std::string& value = v->value;
    const bool isNull = value == "null";
    switch (kind_) {
    case LiteralKind::Null:
        return compare(isNull, true, comparison_);
    case LiteralKind::Boolean:
        if (value != "true" && value != "false")
            return std::nullopt;
        return compare(value, literal_, comparison_);
    case LiteralKind::Number: {
        const std::optional<double> n = number(value);
        if (!n || std::isnan(*n))
            return std::nullopt;
        return compare(*n, number_, comparison_);
    }
    case LiteralKind::Text: {
        if (isNull && !isOrdering(comparison_))
            return comparison_ == Comparison::NotEqual;
        const std::optional<std::string> s = unquoted(value, '"');
        if (!s)
            return std::nullopt;
        return compare(*s, literal_, comparison_);
    }
    case LiteralKind::Character: {
        const std::optional<std::string> c = unquoted(value, '\'');
        if (!c)
            return std::nullopt;
        return compare(*c, literal_, comparison_);
    }
    }
    return std::nullopt;
}

} // namespace tracewin
