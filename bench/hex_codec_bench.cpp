// Preparing and decoding each stored command frame, as done for every command sent.
#include <benchmark/benchmark.h>

#include <string>

#include "diag/command_table.h"
#include "diag/hdlc.h"

namespace norvane {
namespace {

void BM_StoredFrameToBytes(benchmark::State& state) {
    const DiagCommandRow& row = DiagCommandTable[static_cast<std::size_t>(state.range(0))];
    std::array<std::uint8_t, kFrameBufferSize> out;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = StoredFrameToBytes(row.strFrame, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel(std::string(row.strName));
}
BENCHMARK(BM_StoredFrameToBytes)->DenseRange(0, kDiagCommandCount - 1);

}  // namespace
}  // namespace norvane

BENCHMARK_MAIN();
