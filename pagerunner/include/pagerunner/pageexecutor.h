#pragma once

#include "pagerunner/expressionevaluator.h"
#include "pagerunner/monitorsession.h"
#include "pagerunner/pagecompiler.h"
#include "pagerunner/requestcontext.h"
#include "tracehook/monitorreplies.h"
#include "tracehook/pagevariables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pagerunner {

class MonitorConnection;

// How a page's run ended.
struct PageResult {
    enum class Kind {
        Ended,         // "%E" sent
        Abnormal,      // "%A" sent: an exception ended the page
        CompileFailed, // the page did not compile; the monitor closed the error walk
        MonitorClosed, // the monitor sent "%T"
    };
    Kind kind = Kind::Ended;
    std::string message; // Abnormal: the exception
};

// Runs one compiled page on its connection to the monitor and keeps to the protocol:
// the file record first ("%F", or "%M" for a page that failed to compile), then for
// each executed mapped line a "%L" record and a "%H" record for the HTML it produced,
// each followed by one reply that is obeyed before the page goes on. A failed page sends
// its "%P" error records as the monitor walks them. Included pages run on connections of
// their own. Connection failures leave as ConnectionError.
class PageExecutor {
public:
    PageExecutor(const CompiledPage& page, MonitorConnection& connection, RequestContext& request,
                 int fileId);

    PageResult run();

private:
    struct LoopFrame {
        std::size_t header;
        std::size_t close;
        const CountedLoop* loop;
        std::int64_t value;
        std::int64_t bound;
    };
    // A local variable a scriptlet set; no value when it cannot be worked out here.
    struct Local {
        std::string name;
        std::string type;
        std::optional<ExpressionEvaluator::Value> value;
        std::string expression;
    };
    struct PageAbort {
        std::int32_t javaLine;
        std::string message;
    };

    void walk();
    void walkCompileErrors();
    bool enterLoop(std::size_t index, const PageStatement& st);
    bool loopContinues(const LoopFrame& frame) const;
    std::size_t after(std::size_t index);
    void runInclude(const PageStatement& st);
    std::string resolveInclude(const std::string& target) const;

    void reportLine(std::int32_t javaLine);
    void assign(const Assignment& assignment);
    // What the page holds now, as the variables record carries it.
    std::vector<tracehook::PageVariable> variables() const;
    void flushHtml();
    tracehook::MonitorReplies::Reply exchange(const std::string& record) {
        return session_.exchange(record);
    }
    std::string switchRecord(const std::string& fileIdText) const;

    const CompiledPage& page_;
    RequestContext& request_;
    const int fileId_;
    const std::string fileIdText_;
    RequestContext::PagePosition& position_;
    std::vector<LoopFrame> frames_;
    std::vector<Local> locals_;
    ExpressionEvaluator evaluator_;
    MonitorSession session_;
    std::string html_; // produced and not yet sent
};

} // namespace pagerunner
