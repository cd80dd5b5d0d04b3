// Preparing and decoding each stored command frame, as done for every command sent.
#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "diag/command_table.h"
#include "diag/hdlc.h"

namespace norvane {
namespace {

void BM_StoredFrameToBytes(benchmark::State& state) {
    const auto row = static_cast<std::size_t>(state.range(0));
    const std::string_view text = DiagCommandTable[row].strFrame;
    std::array<std::uint8_t, kFrameBufferSize> out;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = StoredFrameToBytes(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel(std::string(DiagCommandTable[row].strName));
}
BENCHMARK(BM_StoredFrameToBytes)->DenseRange(0, kDiagCommandCount - 1);

void BM_HexTextToBytes(benchmark::State& state) {
    const auto row = static_cast<std::size_t>(state.range(0));
    std::array<char, 2 * kHexCodecMaxBytes + 2> text;
    const std::size_t digits = PrepareFrameText(DiagCommandTable[row].strFrame, text);
    std::array<std::uint8_t, kFrameBufferSize> out;
    for (auto _ : state) {
        std::size_t length = digits;
        HexTextToBytes(text.data(), length, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * digits / 2));
    state.SetLabel(std::string(DiagCommandTable[row].strName));
}
BENCHMARK(BM_HexTextToBytes)->DenseRange(0, kDiagCommandCount - 1);

}  // namespace
}  // namespace norvane

BENCHMARK_MAIN();
