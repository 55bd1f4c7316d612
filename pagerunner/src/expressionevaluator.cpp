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
            if (op == '+' && (std::holds_alternative<std::string>(*left) ||
                              std::holds_alternative<std::string>(*right))) {
                left = ExpressionEvaluator::toText(*left) + ExpressionEvaluator::toText(*right);
            } else if (auto a = std::get_if<std::int64_t>(&*left),
                       b = std::get_if<std::int64_t>(&*right);
                       a && b) {
                left = op == '+' ? *a + *b : *a - *b;
            } else {
                return std::nullopt;
            }
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
            auto a = left ? std::get_if<std::int64_t>(&*left) : nullptr;
            auto b = right ? std::get_if<std::int64_t>(&*right) : nullptr;
            if (!a || !b || (op != '*' && *b == 0))
                return std::nullopt;
            left = op == '*' ? *a * *b : op == '/' ? *a / *b : *a % *b;
        }
        return left;
    }

    std::optional<Value> unary() {
        if (++depth_ > maxDepth)
            return std::nullopt;
        std::optional<Value> v;
        if (take("-")) {
            v = unary();
            if (v) {
                auto n = std::get_if<std::int64_t>(&*v);
                v = n ? std::optional<Value>(-*n) : std::nullopt;
            }
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
            auto it = params_.find(std::get<std::string>(*name));
            return Value(it == params_.end() ? std::string("null") : it->second);
        }
        if (take("Integer.parseInt(")) {
            std::optional<Value> arg = sum();
            if (!arg || !take(")"))
                return std::nullopt;
            if (std::holds_alternative<std::int64_t>(*arg))
                return arg;
            const std::string& t = std::get<std::string>(*arg);
            std::int64_t n = 0;
            auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
            if (t.empty() || ec != std::errc() || end != t.data() + t.size())
                return std::nullopt;
            return Value(n);
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
        return Value(n);
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
        return Value(std::move(out));
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
        return v ? std::optional<Value>(*v) : std::nullopt;
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
    if (auto n = std::get_if<std::int64_t>(&*v))
        return *n;
    return std::nullopt;
}

std::string ExpressionEvaluator::print(std::string_view expression) const {
    std::optional<Value> v = evaluate(expression);
    if (v)
        return toText(*v);
    return "[" + escapeHtml(expression) + "]";
}

std::string ExpressionEvaluator::toText(const Value& value) {
    if (auto n = std::get_if<std::int64_t>(&value))
        return std::to_string(*n);
    return std::get<std::string>(value);
}

} // namespace pagerunner
