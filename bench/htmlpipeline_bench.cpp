// The monitor's HTML path without sockets, event loop or widgets: the HTML model taking
// a record apart and the tag stack checking its tags, each in CPU time
// per MB, for every output shape. Tells which stage to work on when bench_monitor's
// figures fall short; the best of several rounds, so other processes weigh little.
#include "core/htmltagstack.h"
#include "core/monitormessagefile.h"
#include "htmlflood.h"
#include "views/htmlmodel.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

namespace {
using namespace tracewin;

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct SilentListener : HtmlTagStackListener {
    void showStatus(const std::string&) override {}
    void highlightTag(const std::optional<HtmlTagPosition>&) override {}
};

enum Stage { Model, Stack, StageCount };
using StageSeconds = std::array<double, StageCount>;

// The staged monitor's own message texts, so that nesting errors are worded as it words them.
const MonitorMessageFile& stagedMessages() {
    static const MonitorMessageFile messages(
        TRACEWIN_STAGE_DIR "/jspvlm/tools/com-zet-kwo-ui-jspdebug/com/zet/kwo/jsp/ui/MonitorMsg");
    return messages;
}

StageSeconds runOnce(const std::vector<std::string>& records) {
    SilentListener listener;
    HtmlTagStack stack(HtmlTagTable::createHtmlTagTable(), stagedMessages(), listener);
    HtmlModel model;
    StageSeconds seconds{};
    for (const std::string& record : records) {
        const double t0 = threadSeconds();
        HtmlTags tags;
        model.addText(std::string_view(record), tags);
        const double t1 = threadSeconds();
        stack.handleTags(tags);
        const double t2 = threadSeconds();
        seconds[Model] += t1 - t0;
        seconds[Stack] += t2 - t1;
    }
    return seconds;
}

} // namespace

int main() {
    constexpr int kRounds = 5;
    std::printf("HTML path in CPU ms per MB (best of %d rounds)\n", kRounds);
    std::printf("  %-10s %8s %8s %8s\n", "shape", "MB", "model", "stack");
    for (bench::HtmlShape shape : bench::allHtmlShapes()) {
        const auto records = bench::htmlShapeRecords(shape, 10u << 20, 100000);
        std::size_t bytes = 0;
        for (const std::string& record : records)
            bytes += record.size();
        StageSeconds best;
        best.fill(1e9);
        for (int round = 0; round < kRounds; ++round) {
            const StageSeconds seconds = runOnce(records);
            for (int stage = 0; stage < StageCount; ++stage)
                best[stage] = std::min(best[stage], seconds[stage]);
        }
        const double mb = static_cast<double>(bytes) / (1 << 20);
        std::printf("  %-10s %8.2f %8.1f %8.1f\n", std::string(bench::htmlShapeName(shape)).c_str(),
                    mb, best[Model] * 1000 / mb, best[Stack] * 1000 / mb);
    }
    return 0;
}
