#include "tomcatrunner/outputtracker.h"

#include "jdwp/error.h"
#include "jdwp/utf8.h"

#include <algorithm>

namespace tomcatrunner {

namespace {

constexpr std::string_view ConnectorResponse = "Lorg/apache/catalina/connector/Response;";
constexpr std::string_view BodyContent = "Lorg/apache/jasper/runtime/BodyContentImpl;";

} // namespace

void OutputTracker::findOutputBuffer(jdwp::ObjectId writer) {
    // The writer's response, unwrapped (a facade, or a filter's wrapper, each keeps the
    // response it stands for in a field "response") down to the connector's Response.
    try {
        jdwp::ObjectId response = fields_.read(writer, "response").objectId();
        for (int depth = 0; response != 0 && depth < 16; ++depth) {
            if (vm_.referenceType.signature(fields_.typeOf(response)) == ConnectorResponse) {
                outputBuffer_ = fields_.read(response, "outputBuffer").objectId();
                return;
            }
            response = fields_.read(response, "response").objectId();
        }
    } catch (const jdwp::DisconnectedError&) {
        throw;
    } catch (const jdwp::Error&) {
        // A response of another kind: what leaves the writer is then known from the body
        // alone, at the end.
    }
}

bool OutputTracker::isPageWriter(jdwp::ObjectId writer) {
    const jdwp::ReferenceTypeId type = fields_.typeOf(writer);
    auto it = pageWriterTypes_.find(type);
    if (it == pageWriterTypes_.end()) {
        it = pageWriterTypes_.emplace(type, vm_.referenceType.signature(type) != BodyContent).first;
    }
    return it->second;
}

void OutputTracker::pushWriter(jdwp::ObjectId writer, bool holdBack) {
    if (writers_.empty()) {
        findOutputBuffer(writer);
    }
    const bool alias = std::any_of(writers_.begin(), writers_.end(),
                                   [&](const Writer& w) { return w.object == writer; });
    writers_.push_back(Writer{writer, holdBack, 0, 0, !alias && isPageWriter(writer)});
    refresh();
}

void OutputTracker::popWriter() {
    if (!writers_.empty()) {
        writers_.pop_back();
    }
}

void OutputTracker::discardWriters() {
    for (Writer& w : writers_) {
        w.counted = false;
        w.nextChar = 0;
    }
}

void OutputTracker::refresh() {
    if (outputBuffer_) {
        downstream_ = fields_.read(*outputBuffer_, "charsWritten").asLong();
    }
    for (Writer& w : writers_) {
        if (!w.counted) {
            continue;
        }
        // One read for both fields of the writer.
        const jdwp::FieldId next = fields_.field(w.object, "nextChar");
        const jdwp::FieldId cb = fields_.field(w.object, "cb");
        const auto values = vm_.object.getValues(w.object, std::vector<jdwp::FieldId>{next, cb});
        w.nextChar = values.at(0).asInt();
        w.buffer = values.at(1).objectId();
        if (w.buffer == 0) {
            w.nextChar = 0; // unbuffered: everything goes straight through
        }
    }
}

std::string OutputTracker::takeNew() {
    refresh();
    const auto shownBefore = static_cast<std::int64_t>(shown_.size());
    std::int64_t total = downstream_;
    for (const Writer& w : writers_) {
        total += w.counted ? w.nextChar : 0;
    }
    if (total < shown()) {
        // A buffer was discarded (a forward or an error page cleared it).
        mismatch_ = "the page discarded output that had been shown";
        return {};
    }
    // Chars that left the writers: from the body as it arrives.
    if (shown() < downstream_ && body_ != nullptr) {
        const auto upTo = std::min<std::int64_t>(downstream_, static_cast<std::int64_t>(body_->size()));
        if (upTo > shown()) {
            shown_.append(std::u16string_view(*body_).substr(static_cast<std::size_t>(shown()),
                                                      static_cast<std::size_t>(upTo - shown())));
        }
    }
    // Chars still in the writers' buffers, in order.
    std::int64_t start = downstream_;
    for (const Writer& w : writers_) {
        if (!w.counted) {
            continue;
        }
        const std::int64_t end = start + w.nextChar;
        if (w.holdBack || shown() < start) {
            break; // what comes later cannot be shown before this
        }
        if (shown() < end) {
            const auto first = static_cast<std::int32_t>(shown() - start);
            const auto values = vm_.array.getValues(w.buffer, first, w.nextChar - first);
            std::u16string text;
            text.reserve(values.size());
            for (const jdwp::Value& v : values) {
                text += v.asChar();
            }
            shown_.append(text);
        }
        start = end;
    }
    // Keep a trailing high surrogate back for the next step.
    std::size_t upTo = shown_.size();
    if (upTo > static_cast<std::size_t>(shownBefore) && shown_[upTo - 1] >= 0xD800 &&
        shown_[upTo - 1] < 0xDC00) {
        shown_.pop_back();
        --upTo;
    }
    return jdwp::utf16ToUtf8(std::u16string_view(shown_).substr(static_cast<std::size_t>(shownBefore)));
}

std::string OutputTracker::takeRest(const std::u16string& body) {
    if (body.size() < shown_.size() || body.compare(0, shown_.size(), shown_) != 0) {
        if (mismatch_.empty()) {
            mismatch_ = "what was shown is not the start of the response body";
        }
        return {};
    }
    const std::u16string rest = body.substr(shown_.size());
    shown_ = body;
    return jdwp::utf16ToUtf8(rest);
}

} // namespace tomcatrunner
