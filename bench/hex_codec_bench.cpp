// Preparing and decoding each stored command frame, as done for every command sent.
#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "diag/command_table.h"
#include "diag/hdlc.h"

void BM_StoredFrameToBytes(benchmark::State& state) {
    const auto& row = norvane::DiagCommandTable[static_cast<std::size_t>(state.range(0))];
    std::array<std::uint8_t, norvane::kFrameBufferSize> out;
    std::size_t bytes = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bytes = norvane::StoredFrameToBytes(row.strFrame, out));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel(std::string(row.strName));
}
BENCHMARK(BM_StoredFrameToBytes)->DenseRange(0, norvane::kDiagCommandCount - 1);

BENCHMARK_MAIN();
