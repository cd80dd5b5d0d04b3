// Throughput of the receive path: a stream of cell lists of every version, SAR/PA reports and
// other packets, deframed in pieces of a read's size and every frame decoded; with the heap
// allocations this made per frame (there should be none).
#include <benchmark/benchmark.h>

#include <memory>

#include "diag/hdlc.h"
#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/unit/alloc_counter.h"

namespace norvane {
namespace {

void BM_DeframeDecode(benchmark::State& state) {
    const test::Bytes stream = test::RealisticStream(20000);
    const auto piece = static_cast<std::size_t>(state.range(0));
    auto deframer = std::make_unique<HdlcDeframer>();
    double frames = 0;
    const std::size_t allocationsBefore = test::AllocationCount();
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            for (auto in = std::span(stream).subspan(at, std::min(piece, stream.size() - at));
                 !in.empty();) {
                const HdlcDeframer::Step step = deframer->Feed(in);
                in = in.subspan(step.consumed);
                if (step.status == HdlcDeframer::Status::kFrame) {
                    ++frames;
                    benchmark::DoNotOptimize(DecodeLogFrame(deframer->Payload()));
                }
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["allocs_per_frame"] =
        static_cast<double>(test::AllocationCount() - allocationsBefore) / frames;
}
// 65536 and 4096: full reads from the port; 64: the pace of a slow link; 1: byte by byte.
BENCHMARK(BM_DeframeDecode)->Arg(65536)->Arg(4096)->Arg(64)->Arg(1);

}  // namespace
}  // namespace norvane

BENCHMARK_MAIN();
