// Throughput of the receive path: deframe a realistic byte stream in serial-read sized pieces
// and decode every frame. Also counts heap allocations while doing so (there should be none).
#include <benchmark/benchmark.h>

#include <memory>

#include "diag/hdlc.h"
#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/unit/alloc_counter.h"

namespace norvane {
namespace {

struct Counts {
    std::size_t frames = 0;
    std::size_t reports = 0;
    std::size_t dropped = 0;
};

void DeframeAndDecode(HdlcDeframer& deframer, std::span<const std::uint8_t> stream,
                      std::size_t piece, Counts& counts) {
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        auto in = stream.subspan(at, std::min(piece, stream.size() - at));
        while (!in.empty()) {
            const HdlcDeframer::Step step = deframer.Feed(in);
            in = in.subspan(step.consumed);
            if (step.status == HdlcDeframer::Status::kFrame) {
                ++counts.frames;
                const DecodedLogFrame d = DecodeLogFrame(deframer.Payload());
                counts.reports += d.kind != LogFrameKind::Other;
                benchmark::DoNotOptimize(d);
            } else if (step.status != HdlcDeframer::Status::kNeedMore) {
                ++counts.dropped;
            }
        }
    }
}

void BM_DeframeDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> stream = test::RealisticStream(20000);
    const auto piece = static_cast<std::size_t>(state.range(0));
    auto deframer = std::make_unique<HdlcDeframer>();
    Counts counts;
    const std::size_t allocationsBefore = test::AllocationCount();
    for (auto _ : state) {
        DeframeAndDecode(*deframer, stream, piece, counts);
    }
    const std::size_t allocations = test::AllocationCount() - allocationsBefore;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(counts.frames), benchmark::Counter::kIsRate);
    state.counters["allocs_per_frame"] =
        static_cast<double>(allocations) / static_cast<double>(counts.frames);
    state.counters["reports_pct"] =
        100.0 * static_cast<double>(counts.reports) / static_cast<double>(counts.frames);
    state.counters["dropped"] = static_cast<double>(counts.dropped);
}
// 4096: a full read from the port; 64: the pace of a slow link; 1: byte by byte.
BENCHMARK(BM_DeframeDecode)->Arg(65536)->Arg(4096)->Arg(64)->Arg(1);

}  // namespace
}  // namespace norvane

BENCHMARK_MAIN();
