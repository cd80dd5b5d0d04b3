// norvane-cli convert IN OUT.pcap: a raw stream or a capture into a pcap Wireshark decodes the
// signalling of.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "capture/reader.h"
#include "capture/writer.h"
#include "diag/frame_pump.h"
#include "tools/cli/capture_lines.h"
#include "tools/cli/commands.h"

namespace norvane::cli {
namespace {

constexpr const char* kConvertUsage =
    "Usage: norvane-cli convert IN OUT.pcap\n"
    "\n"
    "Writes the DIAG frames of IN, a raw byte stream from a modem's diagnostic port (such as a\n"
    "phone's .qmdl or .mi2log file, or a .bin capture of 'norvane-cli monitor --record') or a\n"
    "pcap/pcapng capture, into the pcap capture OUT.pcap as 'norvane-cli monitor --record'\n"
    "records them: every frame that passed its check sequence as a GSMTAP packet of type 0x11\n"
    "(Qualcomm DIAG), which 'norvane-cli decode' and 'norvane-sim --replay' read. After the\n"
    "frame that carries it, each signalling message follows as a GSMTAP packet of its own that\n"
    "Wireshark decodes: LTE RRC (0xB0C0, the parts of a message the modem logs in parts joined)\n"
    "as type 0x0d, WCDMA RRC (0x412F) as 0x0c, the plain LTE NAS messages (0xB0E2, 0xB0E3,\n"
    "0xB0EC, 0xB0ED) as 0x12; 'norvane-cli decode' and 'norvane-sim --replay' pass them over,\n"
    "so a message is never read twice. Open OUT.pcap in Wireshark, or list its messages with\n"
    "  tshark -r OUT.pcap -Y 'gsmtap.type != 0x11'\n"
    "\n"
    "Times: a message takes the modem's time of day where its packet's stamp holds one, else\n"
    "the time of its frame. The frames of a capture keep their times; a raw stream has none, so\n"
    "its frames take the modem's time of day where their stamps hold one, else the time of the\n"
    "frame before (1970-01-01T00:00:00Z before the first). Host frames and positions of a\n"
    "capture are kept; the signalling packets a capture already holds are written anew.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when the whole input was converted, 1 when writing OUT failed (the packets\n"
    "before stay readable), 2 on a usage error or when IN cannot be read.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "norvane-cli convert: %s\n\n%s", problem, kConvertUsage);
    return 2;
}

// Writes the frames of one input with their messages; keeps the first failure.
class Converter {
  public:
    explicit Converter(CaptureWriter& writer) : writer_(writer) {}

    // A frame of the modem or the host; `time` nothing for a frame of a raw stream.
    void Frame(const CaptureTime* time, FrameDirection direction,
               std::span<const std::uint8_t> payload) {
        if (direction == FrameDirection::kToModem) {
            Keep(writer_.WriteFrame(time != nullptr ? *time : last_, direction, payload));
            return;
        }
        const DecodedLogFrame frame = DecodeLogFrame(payload);
        last_ = time != nullptr ? *time : MessageTime(frame, last_);
        Keep(writer_.WriteFrame(last_, direction, payload));
        if (const std::optional<SignallingMessage> m = streams_->joiner.Add(frame)) {
            Keep(writer_.WriteSignalling(MessageTime(frame, last_), *m));
        }
    }
    void Position(CaptureTime time, std::span<const std::uint8_t> line) {
        Keep(
            writer_.WritePosition(time, {reinterpret_cast<const char*>(line.data()), line.size()}));
    }
    HdlcDeframer& deframer() { return streams_->deframer; }
    void Keep(CaptureError error) {
        if (error && !failure_) {
            failure_ = std::move(error);
        }
    }
    const CaptureError& failure() const { return failure_; }

  private:
    CaptureWriter& writer_;
    const std::unique_ptr<CaptureStreams> streams_ = std::make_unique<CaptureStreams>();
    CaptureTime last_{};  // of the frame before
    CaptureError failure_;
};

}  // namespace

int RunConvert(std::span<const std::string_view> args) {
    std::vector<std::string> files;
    for (const std::string_view& arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::fputs(kConvertUsage, stdout);
            return 0;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + std::string(arg)).c_str());
        }
        files.emplace_back(arg);
    }
    if (files.size() != 2) {
        return Usage("IN and OUT.pcap are needed");
    }
    const std::string& out = files[1];
    if (out.size() < 5 || out.substr(out.size() - 5) != ".pcap") {
        return Usage("OUT must end in .pcap");
    }
    CaptureError error;
    const std::unique_ptr<CaptureReader> reader = CaptureReader::Open(files[0], error);
    if (reader == nullptr) {
        std::fprintf(stderr, "norvane-cli convert: %s%s\n",
                     error.kind == CaptureError::Kind::kCannotOpen ? "cannot read " : "",
                     error.message.c_str());
        return 2;
    }
    reader->KeepPositions();
    const std::unique_ptr<CaptureWriter> writer = CaptureWriter::Create(out, error);
    if (writer == nullptr) {
        std::fprintf(stderr, "norvane-cli convert: %s\n", error.message.c_str());
        return 2;
    }
    Converter converter(*writer);
    CaptureReader::Packet packet;
    FrameCounters counters;
    int status = 0;
    for (;;) {
        const CaptureReader::Status got = reader->Next(packet, error);
        if (got == CaptureReader::Status::kError) {
            std::fprintf(stderr, "norvane-cli convert: %s\n", error.message.c_str());
            status = 2;
        }
        if (got != CaptureReader::Status::kPacket) {
            break;
        }
        if (reader->format() == CaptureFormat::kRaw) {
            PumpFrames(converter.deframer(), packet.bytes, counters,
                       [&](HdlcDeframer::Status s, std::span<const std::uint8_t> payload) {
                           if (s == HdlcDeframer::Status::kFrame) {
                               converter.Frame(nullptr, FrameDirection::kFromModem, payload);
                           }
                       });
        } else if (packet.position) {
            converter.Position(packet.time, packet.bytes);
        } else {
            converter.Frame(packet.hasTime ? &packet.time : nullptr, packet.direction,
                            packet.bytes);
        }
        if (converter.failure()) {
            break;
        }
    }
    converter.Keep(writer->Flush());
    if (converter.failure()) {
        std::fprintf(stderr, "norvane-cli convert: %s\n", converter.failure().message.c_str());
        return 1;
    }
    return status;
}

}  // namespace norvane::cli
