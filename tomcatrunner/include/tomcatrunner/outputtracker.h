#pragma once

#include "jdwp/debuggee.h"
#include "tomcatrunner/objectfields.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tomcatrunner {

// Follows the output of one request as the page writes it, so that each step can show
// what the last one produced, and so that what is shown, joined, equals the response body.
//
// The output so far is, in order: what left the page's JspWriter for the response (the
// response's OutputBuffer counts those chars: charsWritten), then what each active page's
// JspWriter holds in its buffer (cb[0:nextChar]), the requested page's first, an included
// page's after it (an included page's writer drains into its includer's). Each step reads
// those counts; new chars in a writer's buffer are read from it, and chars that left for
// the response before they could be read are taken from the response body as it arrives.
// A page may discard its buffer (a forward, an error page): text already shown cannot be
// taken back, so a page that can forward shows its buffered text only once it has left
// the writer ("hold back"). A tag file or a fragment writes to the writer of the page that
// runs it, or to a tag's body content, which is output only once the tag writes it out:
// neither is counted again.
//
// Chars are UTF-16 units as the VM holds them; what is returned is UTF-8.
class OutputTracker {
public:
    OutputTracker(jdwp::Debuggee& vm, ObjectFields& fields) : vm_(vm), fields_(fields) {}

    // A page's writer starts (the requested page's first); `holdBack` for a page that can
    // forward. The first writer also finds the response's OutputBuffer. Each push is
    // matched by a pop, whether the writer is counted or not.
    void pushWriter(jdwp::ObjectId writer, bool holdBack);
    // The innermost page ended; its writer has drained into the one before.
    void popWriter();
    // A page forwards: what the writers so far hold is discarded and they write no more.
    void discardWriters();
    std::size_t writerCount() const { return writers_.size(); }

    // The response body received so far (UTF-16); the tracker takes what it needs.
    void setBody(const std::u16string* body) { body_ = body; }
    // The output written since the last call, as UTF-8 (empty when none).
    std::string takeNew();
    // At the end of the request: the rest of the body, once it is complete. Empty, and
    // a note in mismatch(), when what was shown is not the body's start.
    std::string takeRest(const std::u16string& body);

    // UTF-16 units shown so far.
    std::int64_t shown() const { return static_cast<std::int64_t>(shown_.size()); }
    // Why the join of what was shown differs from the body, when it does.
    const std::string& mismatch() const { return mismatch_; }

private:
    struct Writer {
        jdwp::ObjectId object = 0;
        bool holdBack = false;
        std::int32_t nextChar = 0; // as last read
        jdwp::ObjectId buffer = 0; // cb
        bool counted = true; // false: another writer's alias, or a body content
    };

    void findOutputBuffer(jdwp::ObjectId writer);
    bool isPageWriter(jdwp::ObjectId writer);
    void refresh();

    jdwp::Debuggee& vm_;
    ObjectFields& fields_;
    std::vector<Writer> writers_;
    std::optional<jdwp::ObjectId> outputBuffer_;
    std::map<jdwp::ReferenceTypeId, bool> pageWriterTypes_;
    std::int64_t downstream_ = 0; // chars that left the first writer
    const std::u16string* body_ = nullptr;
    std::u16string shown_;
    std::string mismatch_;
};

} // namespace tomcatrunner
