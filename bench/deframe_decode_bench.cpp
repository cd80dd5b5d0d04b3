// Throughput of the receive path: a stream of cell lists of every version, SAR/PA reports,
// serving-cell and signalling packets and other packets, deframed in pieces of a read's size,
// every frame decoded and every signalling message taken through the joiner.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "diag/log_decoder.h"
#include "tests/support/frames.h"

namespace norvane {

void BM_DeframeDecode(benchmark::State& state) {
    const test::Bytes stream = test::RealisticStream(20000);
    const auto piece = static_cast<std::size_t>(state.range(0));
    auto deframer = std::make_unique<HdlcDeframer>();
    auto joiner = std::make_unique<SignallingJoiner>();
    for (auto _ : state) {
        for (auto in = std::span(stream); !in.empty();) {
            const auto [status, consumed] = deframer->Feed(in.first(std::min(piece, in.size())));
            in = in.subspan(consumed);
            if (status == HdlcDeframer::Status::kFrame) {
                const DecodedLogFrame frame = DecodeLogFrame(deframer->Payload());
                benchmark::DoNotOptimize(joiner->Add(frame));
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
// 65536 and 4096: full reads from the port; 64: the pace of a slow link; 1: byte by byte.
BENCHMARK(BM_DeframeDecode)->Arg(65536)->Arg(4096)->Arg(64)->Arg(1);

}  // namespace norvane

BENCHMARK_MAIN();
