// Record parsing throughput: "%L" records per second, and MiB/s for one large "%H" record
// and for cutting a stream into records.
#include "tracehook/jspsourceinfo.h"
#include "tracehook/recordframer.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ParseLineRecord(benchmark::State& state) {
    const std::string record = "%L17&1234&56&7&58&12";
    for (auto _ : state) {
        auto info = tracehook::infoStrParser(record);
        benchmark::DoNotOptimize(info);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseLineRecord);

void BM_ParseHtmlRecord(benchmark::State& state) {
    std::string body(static_cast<std::size_t>(state.range(0)), 'x');
    for (std::size_t i = 0; i < body.size(); i += 61)
        body[i] = i % 2 ? '&' : '\n';
    const std::string record = "%H17&" + body;
    for (auto _ : state) {
        auto info = tracehook::infoStrParser(record);
        benchmark::DoNotOptimize(info);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(record.size()));
}
BENCHMARK(BM_ParseHtmlRecord)->Arg(1 << 20)->Arg(16 << 20);

void BM_FrameStream(benchmark::State& state) {
    std::string chunk;
    for (int i = 0; i < 1000; ++i)
        chunk += "%L17&" + std::to_string(i) + "&56&7&58&12%%%END%%%";
    tracehook::RecordFramer framer("%%%END%%%");
    for (auto _ : state) {
        framer.append(chunk);
        while (auto r = framer.next())
            benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk.size()));
}
BENCHMARK(BM_FrameStream);

} // namespace

BENCHMARK_MAIN();
