#include "tracehook/recordframer.h"

namespace tracehook {

RecordFramer::RecordFramer(std::string terminator, std::size_t maxRecordBytes)
    : terminator_(std::move(terminator)), maxRecordBytes_(maxRecordBytes) {}

void RecordFramer::append(std::string_view bytes) {
    if (overflowed_)
        return;
    // Drop returned records before growing, so the buffer holds at most one record's worth.
    // A record is dropped here or by the next nextView, never as it is returned: whoever
    // took it may still be looking at it.
    if (consumed_ > 0 && consumed_ * 2 >= buffer_.size()) {
        buffer_.erase(0, consumed_);
        scanned_ -= consumed_;
        consumed_ = 0;
    }
    buffer_.append(bytes);
    if (pendingBytes() > maxRecordBytes_ + terminator_.size() &&
        findTerminator() == std::string::npos) {
        overflowed_ = true;
        buffer_.clear();
        buffer_.shrink_to_fit();
        consumed_ = scanned_ = 0;
    }
}

std::size_t RecordFramer::findTerminator() {
    std::size_t at = buffer_.find(terminator_, scanned_);
    if (at == std::string::npos) {
        // A terminator may begin in the last few bytes: rescan only those next time.
        std::size_t keep = terminator_.size() - 1;
        scanned_ = buffer_.size() > consumed_ + keep ? buffer_.size() - keep : consumed_;
    }
    return at;
}

std::optional<std::string> RecordFramer::next() {
    const std::optional<std::string_view> record = nextView();
    return record ? std::optional<std::string>(*record) : std::nullopt;
}

std::optional<std::string_view> RecordFramer::nextView() {
    if (overflowed_ || terminator_.empty())
        return std::nullopt;
    // Everything returned: the buffer starts again (the last record returned is let go).
    if (consumed_ > 0 && consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = scanned_ = 0;
    }
    std::size_t at = findTerminator();
    if (at == std::string::npos)
        return std::nullopt;
    const std::string_view record(buffer_.data() + consumed_, at - consumed_);
    consumed_ = at + terminator_.size();
    scanned_ = consumed_;
    return record;
}

} // namespace tracehook
