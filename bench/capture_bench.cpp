// Captures: decoding a large pcap (read, GSMTAP check, log decode; no deframing, the frames are
// whole in a pcap) and the recorder's cost per frame. Allocations are counted in the read loop
// (there should be none per packet).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "capture/reader.h"
#include "capture/writer.h"
#include "diag/frame_pump.h"
#include "diag/log_decoder.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

// The payloads of a realistic stream of frames from the modem.
std::vector<test::Bytes> RealisticPayloads() {
    const test::Bytes stream = test::RealisticStream(20000);
    auto deframer = std::make_unique<HdlcDeframer>();
    FrameCounters counters;
    std::vector<test::Bytes> payloads;
    PumpFrames(*deframer, stream, counters, [&](auto, std::span<const std::uint8_t> p) {
        payloads.emplace_back(p.begin(), p.end());
    });
    return payloads;
}

// A capture being written in the temporary directory, removed at the end; "/dev/null" as its
// file when `devNull` (the CPU spent by the recorder and libpcap alone).
struct Recording {
    explicit Recording(bool devNull = false) {
        if (devNull) {
            std::filesystem::create_symlink("/dev/null", path);
        }
        writer = CaptureWriter::Create(path, error);
    }
    ~Recording() { std::filesystem::remove(path); }
    const std::string path =
        std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "-bench.pcap");
    const std::vector<test::Bytes> payloads = RealisticPayloads();
    CaptureError error;
    std::unique_ptr<CaptureWriter> writer;
};

void BM_DecodePcap(benchmark::State& state) {
    Recording file;
    CaptureTime time = CaptureClock::now();
    while (std::filesystem::file_size(file.path) < 100 * 1000 * 1000) {
        for (const auto& p : file.payloads) {
            file.writer->WriteFrame(time += std::chrono::milliseconds(50),
                                    FrameDirection::kFromModem, p);
        }
        file.writer->Flush();
    }
    file.writer.reset();
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file.path));
    std::size_t packets = 0, reports = 0, allocations = 0;
    for (auto _ : state) {
        CaptureError error;
        auto reader = CaptureReader::Open(file.path, error);
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
    const auto perPacket = [&](std::size_t n) { return double(n) / double(packets); };
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
    state.counters["allocs_per_packet"] = perPacket(allocations);
    state.counters["reports_pct"] = 100 * perPacket(reports);
}
BENCHMARK(BM_DecodePcap)->Unit(benchmark::kMillisecond)->UseRealTime();

// Cost of recording one frame, to /dev/null and to a file in the temporary directory.
void BM_RecordFrame(benchmark::State& state) {
    Recording file(state.range(0) == 0);
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = file.payloads[i++ % file.payloads.size()];
        file.writer->WriteFrame(CaptureClock::now(), FrameDirection::kFromModem, p);
    }
    file.writer.reset();
    state.SetLabel(state.range(0) == 0 ? "to /dev/null" : "to a file");
}
BENCHMARK(BM_RecordFrame)->Arg(0)->Arg(1);

}  // namespace
}  // namespace norvane

BENCHMARK_MAIN();
