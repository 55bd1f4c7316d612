#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace pagerunner {

// Evaluates the small part of Java that pages use for demonstration: integer and string
// literals, loop variables, request.getParameter("name"), Integer.parseInt(...), + - * / %
// and parentheses. Anything else cannot be evaluated and prints a placeholder.
class ExpressionEvaluator {
public:
    // A number or a text.
    struct Value {
        bool isNumber = false;
        std::int64_t number = 0;
        std::string text;

        static Value ofNumber(std::int64_t n) { return {true, n, {}}; }
        static Value ofText(std::string t) { return {false, 0, std::move(t)}; }
    };
    using VariableLookup = std::function<std::optional<std::int64_t>(std::string_view)>;

    ExpressionEvaluator(VariableLookup variables, const std::map<std::string, std::string>& params)
        : variables_(std::move(variables)), params_(params) {}

    std::optional<Value> evaluate(std::string_view expression) const;
    std::optional<std::int64_t> evaluateInteger(std::string_view expression) const;
    // What out.print writes for the expression: its value, or "[expression]" (HTML-escaped)
    // when it cannot be evaluated here.
    std::string print(std::string_view expression) const;

    static std::string toText(const Value& value);

private:
    VariableLookup variables_;
    const std::map<std::string, std::string>& params_;
};

} // namespace pagerunner
