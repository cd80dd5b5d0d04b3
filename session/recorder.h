// What the monitoring session tells about the port's traffic, and the recorder that takes it to
// a capture file and to live GSMTAP.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "capture/capture.h"
#include "capture/gsmtap_sender.h"
#include "capture/writer.h"
#include "diag/gsmtap.h"

namespace norvane {

// What the monitoring session tells about the port's traffic.
class FrameRecorder {
  public:
    virtual ~FrameRecorder() = default;
    // Bytes as they came from the port, in order (receive thread).
    virtual void OnRead(CaptureTime time, std::span<const std::uint8_t> bytes) = 0;
    // A frame that passed its check sequence, read or about to be written, unescaped, no CRC.
    virtual void OnFrame(CaptureTime time, FrameDirection direction,
                         std::span<const std::uint8_t> payload) = 0;
    // Where the receiver was (a line as jsonl/position_json.h builds it), when the owner
    // follows one. Kept beside the frames by recorders that can; others pass it over.
    virtual void OnPosition(CaptureTime time, std::string_view line) {
        static_cast<void>(time);
        static_cast<void>(line);
    }
};

// Records to a capture file and/or sends live GSMTAP. After each frame of the modem that carries
// a signalling message (or the last part of one) the message follows as a GSMTAP packet of its
// own, at the modem's time where the frame's stamp holds one (diag/gsmtap.h). A failing file is
// reported once to `onFailure` (from the thread that met it); monitoring and the live datagrams
// go on.
class CaptureRecorder final : public FrameRecorder {
  public:
    using FailureSink = std::function<void(const CaptureError&)>;
    CaptureRecorder(std::unique_ptr<CaptureWriter> writer, std::unique_ptr<GsmtapSender> sender,
                    FailureSink onFailure);
    void OnRead(CaptureTime time, std::span<const std::uint8_t> bytes) override;
    void OnFrame(CaptureTime time, FrameDirection direction,
                 std::span<const std::uint8_t> payload) override;
    void OnPosition(CaptureTime time, std::string_view line) override;
    void Flush();  // from the owner's timer

  private:
    void Report(CaptureError error);
    const std::unique_ptr<CaptureWriter> writer_;
    const std::unique_ptr<GsmtapSender> sender_;
    const FailureSink onFailure_;
    // The parts of RRC messages; several sessions may record into one recorder at once.
    std::mutex joinerMutex_;
    const std::unique_ptr<SignallingJoiner> joiner_ = std::make_unique<SignallingJoiner>();
};

}  // namespace norvane
