#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tracehook {

// Cuts a byte stream into records that end with a terminator ("%%%END%%%" for records
// of the page runtime, "\n" for the monitor's replies). The terminator is searched in
// everything received so far, so a terminator split across two reads is still found,
// and each byte is scanned once. A record that grows past the size limit without a
// terminator marks the framer as overflowed; its bytes are dropped so memory stays
// bounded. Not thread-safe: one reader owns it.
class RecordFramer {
public:
    static constexpr std::size_t defaultMaxRecordBytes = 64u * 1024u * 1024u;

    explicit RecordFramer(std::string terminator,
                          std::size_t maxRecordBytes = defaultMaxRecordBytes);

    // Adds received bytes. Ignored once overflowed.
    void append(std::string_view bytes);
    // The next complete record without its terminator, or nullopt.
    std::optional<std::string> next();
    // The same, seen where it was received: it holds until the next call of append, next or
    // nextView, and costs no copy.
    std::optional<std::string_view> nextView();

    // True once a record outgrew the limit; the stream cannot be resynchronised.
    bool overflowed() const { return overflowed_; }
    // Bytes received and not yet returned as a record.
    std::size_t pendingBytes() const { return buffer_.size() - consumed_; }
    bool hasPartialRecord() const { return pendingBytes() > 0; }

private:
    std::size_t findTerminator();

    std::string terminator_;
    std::size_t maxRecordBytes_;
    std::string buffer_;
    std::size_t consumed_ = 0; // bytes of buffer_ already returned
    std::size_t scanned_ = 0;  // buffer_ positions before this hold no terminator start
    bool overflowed_ = false;
};

} // namespace tracehook
