#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tracewin {

// Characters as a text store keeps them: one byte each (Latin-1) where every character of
// the text fits one, UTF-16 otherwise, so that ASCII output costs half. Read as a UTF-16
// view is read: by index, a character at a time.
class CharsView {
public:
    static constexpr std::size_t npos = std::u16string_view::npos;

    constexpr CharsView() = default;
    constexpr CharsView(std::u16string_view wide)
        : data_(wide.data()), size_(wide.size()), wide_(true) {}
    constexpr CharsView(const char16_t* wide) : CharsView(std::u16string_view(wide)) {}
    CharsView(const std::u16string& wide) : CharsView(std::u16string_view(wide)) {}
    // Bytes read as Latin-1: each byte is the character of its value.
    static constexpr CharsView latin1(std::string_view bytes) { return CharsView(bytes); }

    constexpr std::size_t size() const { return size_; }
    constexpr bool empty() const { return size_ == 0; }
    constexpr bool isWide() const { return wide_; }
    // The characters as stored; each only for a view of its width.
    std::u16string_view wide() const { return {static_cast<const char16_t*>(data_), size_}; }
    std::string_view narrow() const { return {static_cast<const char*>(data_), size_}; }

    char16_t operator[](std::size_t i) const {
        return wide_ ? static_cast<const char16_t*>(data_)[i]
                     : static_cast<unsigned char>(static_cast<const char*>(data_)[i]);
    }
    CharsView substr(std::size_t pos, std::size_t n = npos) const {
        pos = pos < size_ ? pos : size_;
        n = n < size_ - pos ? n : size_ - pos;
        return wide_ ? CharsView(wide().substr(pos, n)) : CharsView(narrow().substr(pos, n));
    }
    std::size_t find(char16_t c, std::size_t from = 0) const {
        if (!wide_) {
            if (c > 0xff || from >= size_)
                return npos;
            const void* hit = std::memchr(static_cast<const char*>(data_) + from, c, size_ - from);
            return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) -
                                                  static_cast<const char*>(data_))
                       : npos;
        }
        return wide().find(c, from);
    }

    // Nothing but spaces and line breaks (or nothing at all): a line where nothing runs.
    bool isBlank() const {
        for (std::size_t i = 0; i < size_; ++i) {
            const char16_t c = (*this)[i];
            if (c != u' ' && c != u'\n' && c != u'\r')
                return false;
        }
        return true;
    }

    friend bool operator==(CharsView a, std::u16string_view b) {
        if (a.wide_)
            return a.wide() == b;
        if (a.size_ != b.size())
            return false;
        for (std::size_t i = 0; i < b.size(); ++i)
            if (a[i] != b[i])
                return false;
        return true;
    }

private:
    explicit constexpr CharsView(std::string_view narrow)
        : data_(narrow.data()), size_(narrow.size()), wide_(false) {}

    const void* data_ = nullptr;
    std::size_t size_ = 0;
    bool wide_ = true;
};

} // namespace tracewin
