#include "tomcatrunner/javatext.h"

#include "jdwp/utf8.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tomcatrunner::javatext {

namespace {

constexpr char Hex[] = "0123456789abcdef";

const char* primitiveName(char tag) {
    switch (tag) {
    case 'Z':
        return "boolean";
    case 'B':
        return "byte";
    case 'C':
        return "char";
    case 'S':
        return "short";
    case 'I':
        return "int";
    case 'J':
        return "long";
    case 'F':
        return "float";
    case 'D':
        return "double";
    case 'V':
        return "void";
    default:
        return nullptr;
    }
}

// The shortest digits that read back as the value, and the power of ten of the first:
// 1.5 gives "15" and 0; 1200 gives "12" and 3.
template <class Float> std::pair<std::string, int> shortestDigits(Float value) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view text(buffer,
                                ec == std::errc() ? static_cast<std::size_t>(end - buffer) : 0);
    const std::size_t e = text.find('e');
    std::string digits;
    for (const char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    // The buffer holds no terminator after the text: the exponent is read within it.
    int exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view power = text.substr(e + 1);
        if (!power.empty() && power.front() == '+')
            power.remove_prefix(1);
        std::from_chars(power.data(), power.data() + power.size(), exponent);
    }
    return {digits.empty() ? "0" : digits, exponent};
}

// Double.toString's layout: plain from 10^-3 up to 10^7, else computerized scientific.
template <class Float> std::string floatingText(Float value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-Infinity" : "Infinity";
    }
    std::string out = std::signbit(value) ? "-" : "";
    if (value == 0) {
        return out + "0.0";
    }
    const auto [digits, exponent] = shortestDigits(std::fabs(value));
    if (exponent >= -3 && exponent < 7) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const auto whole = static_cast<std::size_t>(exponent) + 1;
            std::string padded = digits;
            if (padded.size() <= whole) {
                padded.append(whole - padded.size() + 1, '0');
            }
            out += padded.substr(0, whole) + "." + padded.substr(whole);
        }
        return out;
    }
    out += digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0");
    return out + "E" + std::to_string(exponent);
}

} // namespace

std::string typeName(std::string_view signature) {
    std::size_t dims = 0;
    while (dims < signature.size() && signature[dims] == '[') {
        ++dims;
    }
    std::string_view element = signature.substr(dims);
    std::string name;
    if (element.size() == 1 && primitiveName(element[0]) != nullptr) {
        name = primitiveName(element[0]);
    } else {
        if (element.size() >= 2 && element.front() == 'L' && element.back() == ';') {
            element = element.substr(1, element.size() - 2);
        }
        name = element;
        for (char& c : name) {
            if (c == '/') {
                c = '.';
            }
        }
    }
    for (std::size_t i = 0; i < dims; ++i) {
        name += "[]";
    }
    return name;
}

std::string primitiveText(const jdwp::Value& value) {
    switch (value.tag) {
    case jdwp::Tag::Boolean:
        return value.asBoolean() ? "true" : "false";
    case jdwp::Tag::Byte:
        return std::to_string(value.asByte());
    case jdwp::Tag::Char:
        return charText(value.asChar());
    case jdwp::Tag::Short:
        return std::to_string(value.asShort());
    case jdwp::Tag::Int:
        return std::to_string(value.asInt());
    case jdwp::Tag::Long:
        return std::to_string(value.asLong());
    case jdwp::Tag::Float:
        return floatText(value.asFloat());
    case jdwp::Tag::Double:
        return doubleText(value.asDouble());
    default:
        return {};
    }
}

std::string doubleText(double value) {
    return floatingText(value);
}

std::string floatText(float value) {
    return floatingText(value);
}

std::string charText(char16_t value) {
    std::string out = "'";
    switch (value) {
    case u'\'':
        out += "\\'";
        break;
    case u'\\':
        out += "\\\\";
        break;
    case u'\n':
        out += "\\n";
        break;
    case u'\r':
        out += "\\r";
        break;
    case u'\t':
        out += "\\t";
        break;
    case u'\b':
        out += "\\b";
        break;
    case u'\f':
        out += "\\f";
        break;
    default:
        // Control characters and lone surrogate halves have no text of their own.
        if (value < 0x20 || value == 0x7F || (value >= 0xD800 && value <= 0xDFFF)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out += Hex[(value >> shift) & 0xF];
            }
        } else {
            jdwp::appendUtf8(out, value);
        }
    }
    return out + "'";
}

std::string bigIntegerText(int signum, std::span<const std::uint32_t> magnitude) {
    std::vector<std::uint32_t> words(magnitude.begin(), magnitude.end());
    // Nine decimal digits at a time, the least significant first.
    std::vector<std::uint32_t> chunks;
    auto nonZero = [&] {
        for (const std::uint32_t w : words) {
            if (w != 0) {
                return true;
            }
        }
        return false;
    };
    while (nonZero()) {
        std::uint64_t rest = 0;
        for (std::uint32_t& w : words) {
            const std::uint64_t current = (rest << 32) | w;
            w = static_cast<std::uint32_t>(current / 1'000'000'000u);
            rest = current % 1'000'000'000u;
        }
        chunks.push_back(static_cast<std::uint32_t>(rest));
    }
    if (chunks.empty() || signum == 0) {
        return "0";
    }
    std::string out = signum < 0 ? "-" : "";
    out += std::to_string(chunks.back());
    for (auto it = chunks.rbegin() + 1; it != chunks.rend(); ++it) {
        const std::string part = std::to_string(*it);
        out.append(9 - part.size(), '0');
        out += part;
    }
    return out;
}

std::string bigDecimalText(std::string_view unscaled, std::int32_t scale) {
    const bool negative = unscaled.starts_with("-");
    const std::string coefficient(negative ? unscaled.substr(1) : unscaled);
    std::string out = negative ? "-" : "";
    const auto length = static_cast<std::int64_t>(coefficient.size());
    const std::int64_t adjusted = -static_cast<std::int64_t>(scale) + (length - 1);
    if (scale == 0) {
        return out + coefficient;
    }
    if (scale > 0 && adjusted >= -6) {
        if (length > scale) {
            const auto point = static_cast<std::size_t>(length - scale);
            return out + coefficient.substr(0, point) + "." + coefficient.substr(point);
        }
        return out + "0." + std::string(static_cast<std::size_t>(scale - length), '0') +
               coefficient;
    }
    out += coefficient.substr(0, 1);
    if (length > 1) {
        out += "." + coefficient.substr(1);
    }
    return out + "E" + (adjusted >= 0 ? "+" : "") + std::to_string(adjusted);
}

std::string compactText(std::span<const std::uint8_t> bytes, int coder) {
    std::u16string units;
    if (coder == 0) {
        units.assign(bytes.begin(), bytes.end());
    } else {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        }
    }
    return jdwp::utf16ToUtf8(units);
}

} // namespace tomcatrunner::javatext
