#include "diag/receive_loop.h"

#include <array>
#include <span>

#include "diag/hdlc.h"
#include "link/serial_port.h"

namespace norvane {

std::atomic<std::int32_t> g_bReading{0};

namespace {

constexpr std::string_view kNoPortText = "Error OpenComPort";
constexpr std::string_view kNoPortCaption = "Bad CommError";

void Count(ReceiveStats* stats, std::atomic<std::uint64_t> ReceiveStats::*counter) {
    if (stats != nullptr) {
        (stats->*counter).fetch_add(1, std::memory_order_relaxed);
    }
}

void HandOn(const DecodedLogFrame& frame, ReportSink& reports, ReceiveStats* stats) {
    switch (frame.kind) {
        case LogFrameKind::CellList:
            reports.ShowCellReport(frame.cells);
            Count(stats, &ReceiveStats::reports);
            break;
        case LogFrameKind::SarPa:
            reports.ShowSarPaReport(frame.sarPa);
            Count(stats, &ReceiveStats::reports);
            break;
        case LogFrameKind::Other:
            Count(stats, &ReceiveStats::other);
            break;
    }
}

// One delivery of the reader may hold several frames, and the last frame of a delivery may be
// finished by the next one: the deframer carries what is left over.
void Deliver(std::span<const std::uint8_t> bytes, HdlcDeframer& deframer, ReportSink& reports,
             ReceiveStats* stats) {
    while (!bytes.empty()) {
        const HdlcDeframer::Step step = deframer.Feed(bytes);
        bytes = bytes.subspan(step.consumed);
        switch (step.status) {
            case HdlcDeframer::Status::kFrame:
                Count(stats, &ReceiveStats::frames);
                HandOn(DecodeLogFrame(deframer.Payload()), reports, stats);
                break;
            case HdlcDeframer::Status::kBadFcs:
                Count(stats, &ReceiveStats::badFcs);
                break;
            case HdlcDeframer::Status::kOverflow:
            case HdlcDeframer::Status::kNeedMore:
                break;
        }
        if (step.consumed == 0) {
            break;
        }
    }
}

}  // namespace

std::uint32_t ReceiveThreadProc(ReportSink& reports, MessageSink& messages, ReceiveStats* stats) {
    // The loop's own receive buffer and deframer, for the whole life of the loop.
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    HdlcDeframer deframer;

    if (g_hComPort.load() == nullptr) {
        messages.MessageBox(kNoPortText, kNoPortCaption);
        return 0;
    }
    while (g_bReading.load() != 0) {
        // The port is fetched afresh for every read; ReadComFrame paces the loop.
        const int length = ReadComFrame(g_hComPort.load(), buffer);
        Count(stats, &ReceiveStats::reads);
        if (length <= 0) {
            continue;
        }
        Deliver(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(length)),
                deframer, reports, stats);
    }
    return 1;
}

}  // namespace norvane
