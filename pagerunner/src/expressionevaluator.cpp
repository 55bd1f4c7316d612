#include "pagerunner/expressionevaluator.h"

#include <cctype>
#include <charconv>

namespace pagerunner {
namespace {

using Value = ExpressionEvaluator::Value;

// A recursive-descent reader over one expression. Nesting is bounded so that hostile
// input cannot exhaust the stack.
class Reader {
public:
    Reader(std::string_view text, const ExpressionEvaluator::VariableLookup& variables,
           const std::map<std::string, std::string>& params)
        : s_(text), variables_(variables), params_(params) {}

    std::optional<Value> all() {
        std::optional<Value> v = sum();
        skip();
        if (!v || i_ != s_.size())
            return std::nullopt;
        return v;
    }

private:
    static constexpr int maxDepth = 64;

    void skip() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
    }
    bool take(std::string_view t) {
        skip();
        if (s_.substr(i_, t.size()) != t)
            return false;
        i_ += t.size();
        return true;
    }

    std::optional<Value> sum() {
        std::optional<Value> left = product();
        while (left) {
            skip();
            if (i_ >= s_.size() || (s_[i_] != '+' && s_[i_] != '-'))
                break;
            const char op = s_[i_++];
            std::optional<Value> right = product();
            if (!right)
                return std::nullopt;
            if (left->isNumber && right->isNumber)
                left = Value::ofNumber(op == '+' ? left->number + right->number
                                                 : left->number - right->number);
            else if (op == '+')
                left = Value::ofText(ExpressionEvaluator::toText(*left) +
                                     ExpressionEvaluator::toText(*right));
            else
                return std::nullopt;
        }
        return left;
    }

    std::optional<Value> product() {
        std::optional<Value> left = unary();
        while (left) {
            skip();
            if (i_ >= s_.size() || (s_[i_] != '*' && s_[i_] != '/' && s_[i_] != '%'))
                break;
            const char op = s_[i_++];
            std::optional<Value> right = unary();
            if (!right || !left->isNumber || !right->isNumber || (op != '*' && right->number == 0))
                return std::nullopt;
            const std::int64_t a = left->number, b = right->number;
            left = Value::ofNumber(op == '*' ? a * b : op == '/' ? a / b : a % b);
        }
        return left;
    }

    std::optional<Value> unary() {
        if (++depth_ > maxDepth)
            return std::nullopt;
        std::optional<Value> v;
        if (take("-")) {
            v = unary();
            if (v && v->isNumber)
                v->number = -v->number;
            else
                v.reset();
        } else {
            v = primary();
        }
        --depth_;
        return v;
    }

    std::optional<Value> primary() {
        skip();
        if (i_ >= s_.size())
            return std::nullopt;
        const char c = s_[i_];
        if (c == '(') {
            ++i_;
            std::optional<Value> v = sum();
            return v && take(")") ? v : std::nullopt;
        }
        if (c == '"')
            return stringLiteral();
        if (std::isdigit(static_cast<unsigned char>(c)))
            return number();
        if (take("request.getParameter(")) {
            std::optional<Value> name = stringLiteral();
            if (!name || !take(")"))
                return std::nullopt;
            auto it = params_.find(name->text);
            return Value::ofText(it == params_.end() ? std::string("null") : it->second);
        }
        if (take("Integer.parseInt(")) {
            std::optional<Value> arg = sum();
            if (!arg || !take(")"))
                return std::nullopt;
            if (arg->isNumber)
                return arg;
            const std::string& t = arg->text;
            std::int64_t n = 0;
            auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
            if (t.empty() || ec != std::errc() || end != t.data() + t.size())
                return std::nullopt;
            return Value::ofNumber(n);
        }
        return variable();
    }

    std::optional<Value> number() {
        const std::size_t b = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])))
            ++i_;
        std::int64_t n = 0;
        auto [end, ec] = std::from_chars(s_.data() + b, s_.data() + i_, n);
        if (ec != std::errc())
            return std::nullopt;
        if (i_ < s_.size() && (s_[i_] == 'L' || s_[i_] == 'l'))
            ++i_;
        return Value::ofNumber(n);
    }

    std::optional<Value> stringLiteral() {
        if (!take("\""))
            return std::nullopt;
        std::string out;
        while (i_ < s_.size() && s_[i_] != '"') {
            char ch = s_[i_++];
            if (ch == '\\' && i_ < s_.size()) {
                const char e = s_[i_++];
                ch = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            }
            out += ch;
        }
        if (i_ >= s_.size())
            return std::nullopt;
        ++i_;
        return Value::ofText(std::move(out));
    }

    std::optional<Value> variable() {
        const std::size_t b = i_;
        while (i_ < s_.size() &&
               (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_'))
            ++i_;
        if (b == i_)
            return std::nullopt;
        std::optional<std::int64_t> v =
            variables_ ? variables_(s_.substr(b, i_ - b)) : std::nullopt;
        if (!v)
            return std::nullopt;
        return Value::ofNumber(*v);
    }

    std::string_view s_;
    std::size_t i_ = 0;
    int depth_ = 0;
    const ExpressionEvaluator::VariableLookup& variables_;
    const std::map<std::string, std::string>& params_;
};

std::string escapeHtml(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::optional<Value> ExpressionEvaluator::evaluate(std::string_view expression) const {
    return Reader(expression, variables_, params_).all();
}

std::optional<std::int64_t>
ExpressionEvaluator::evaluateInteger(std::string_view expression) const {
    std::optional<Value> v = evaluate(expression);
    if (!v)
        return std::nullopt;
    if (!v->isNumber)
        return std::nullopt;
    return v->number;
}

std::string ExpressionEvaluator::print(std::string_view expression) const {
    std::optional<Value> v = evaluate(expression);
    if (v)
        return toText(*v);
    return "[" + escapeHtml(expression) + "]";
}

std::string ExpressionEvaluator::toText(const Value& value) {
    return value.isNumber ? std::to_string(value.number) : value.text;
}

} // namespace pagerunner
