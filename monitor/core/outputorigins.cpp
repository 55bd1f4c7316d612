#include "core/outputorigins.h"

#include "tracehook/jspsourceinfo.h"

#include <algorithm>

namespace tracewin {

std::optional<OutputOrigin> OutputOrigin::of(const tracehook::JspSourceInfo& r) {
    if (!r.getFileIdStr() ||
        r.getInfoType() == tracehook::JspSourceInfo::ABNORMAL_CLIENT_EXIT_COMMAND)
        return std::nullopt;
    return OutputOrigin{*r.getFileIdStr(), r.getJspStartLine(), r.getJspStartPos(),
                        r.getJspEndLine(), r.getJspEndPos(),    r.getJavaLine()};
}

void OutputOrigins::add(const TextSpan& span, const OutputOrigin& origin) {
    if (!pieces_.empty()) {
        Piece& last = pieces_.back();
        // Output only grows: a piece that does not start after the last one is not new text.
        if (span.start <= last.span.end)
            return;
        // A piece that goes on right where the last one ended, from the same origin, widens
        // it: a loop printing one tag a record costs no memory a record.
        if (span.start == FilePosition(last.span.end.pos + 1, last.span.end.line) &&
            origins_[last.origin] == origin) {
            last.span.end = span.end;
            spansOf_[last.origin]->back().end = span.end;
            return;
        }
    }
    auto [it, added] = indexOf_.try_emplace(origin, static_cast<std::uint32_t>(origins_.size()));
    if (added) {
        origins_.push_back(origin);
        spansOf_.push_back(std::make_shared<TextSpans>());
    }
    pieces_.push_back(Piece{span, it->second});
    spansOf_[it->second]->push_back(span);
}

const OutputOrigin* OutputOrigins::originAt(const FilePosition& position) const {
    // The last piece that starts at or before the position.
    auto after = std::upper_bound(
        pieces_.begin(), pieces_.end(), position,
        [](const FilePosition& p, const Piece& piece) { return p < piece.span.start; });
    if (after == pieces_.begin())
        return nullptr;
    const Piece& piece = *std::prev(after);
    return position <= piece.span.end ? &origins_[piece.origin] : nullptr;
}

std::shared_ptr<const TextSpans> OutputOrigins::spansOf(const OutputOrigin& origin) const {
    auto it = indexOf_.find(origin);
    return it == indexOf_.end() ? nullptr : spansOf_[it->second];
}

void OutputOrigins::clear() {
    pieces_.clear();
    origins_.clear();
    indexOf_.clear();
    spansOf_.clear();
}

} // namespace tracewin
