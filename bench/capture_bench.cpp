// Captures: decoding a large pcap (read, GSMTAP check, log decode; no deframing, the frames are
// whole in a pcap) and the recorder's cost per frame. Allocations are counted in the read loop
// (there should be none per packet).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "diag/hdlc.h"
#include "diag/log_decoder.h"
#include "session/capture.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

constexpr std::size_t kCaptureBytes = 100 * 1000 * 1000;

// The payloads of a realistic stream of frames from the modem.
std::vector<std::vector<std::uint8_t>> RealisticPayloads() {
    const std::vector<std::uint8_t> stream = test::RealisticStream(20000);
    auto deframer = std::make_unique<HdlcDeframer>();
    std::vector<std::vector<std::uint8_t>> payloads;
    std::span<const std::uint8_t> in(stream);
    while (!in.empty()) {
        const HdlcDeframer::Step step = deframer->Feed(in);
        in = in.subspan(step.consumed);
        if (step.status == HdlcDeframer::Status::kFrame) {
            payloads.emplace_back(deframer->Payload().begin(), deframer->Payload().end());
        }
    }
    return payloads;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + name)).string();
}

void BM_DecodePcap(benchmark::State& state) {
    const std::string path = TempPath("-bench.pcap");
    {
        const auto payloads = RealisticPayloads();
        CaptureError error;
        auto writer = CaptureWriter::Create(path, error);
        CaptureTime time = CaptureClock::now();
        for (std::size_t i = 0; std::filesystem::file_size(path) < kCaptureBytes; ++i) {
            for (const auto& p : payloads) {
                time += std::chrono::milliseconds(50);
                writer->WriteFrame(time, FrameDirection::kFromModem, p);
            }
            writer->Flush();
        }
    }
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    std::size_t packets = 0;
    std::size_t reports = 0;
    std::size_t allocations = 0;
    for (auto _ : state) {
        CaptureError error;
        auto reader = CaptureReader::Open(path, error);
        CaptureReader::Packet packet;
        const std::size_t before = test::AllocationCount();
        while (reader->Next(packet, error) == CaptureReader::Status::kPacket) {
            ++packets;
            const DecodedLogFrame d = DecodeLogFrame(packet.bytes);
            reports += d.kind != LogFrameKind::Other;
            benchmark::DoNotOptimize(d);
        }
        allocations += test::AllocationCount() - before;
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
    state.counters["allocs_per_packet"] =
        static_cast<double>(allocations) / static_cast<double>(packets);
    state.counters["reports_pct"] = 100.0 * static_cast<double>(reports) / packets;
}
BENCHMARK(BM_DecodePcap)->Unit(benchmark::kMillisecond)->UseRealTime();

// Cost of recording one frame: a pcap capture whose file is /dev/null (the CPU spent by the
// recorder and libpcap), and one on the temporary directory's file system.
void BM_RecordFrame(benchmark::State& state) {
    const bool devNull = state.range(0) == 0;
    const std::string path = TempPath("-record.pcap");
    if (devNull) {
        std::filesystem::create_symlink("/dev/null", path);
    }
    const auto payloads = RealisticPayloads();
    CaptureError error;
    auto writer = CaptureWriter::Create(path, error);
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = payloads[i++ % payloads.size()];
        writer->WriteFrame(CaptureClock::now(), FrameDirection::kFromModem, p);
    }
    writer.reset();
    std::filesystem::remove(path);
    state.SetLabel(devNull ? "to /dev/null" : "to a file");
}
BENCHMARK(BM_RecordFrame)->Arg(0)->Arg(1);

}  // namespace
}  // namespace norvane

BENCHMARK_MAIN();
