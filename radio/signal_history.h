// The last ten minutes of the serving cell and the strongest cells around it, one track per cell,
// for the radio window's plot. Without Qt.
//
// Time is cut into whole seconds; a track keeps one sample a second (the latest taken in that
// second) in a ring of kHistorySeconds slots, and there are kHistoryTracks tracks. Everything is
// sized when the history is made: however long it runs and however fast it is fed, it neither
// grows nor allocates. A cell seen again takes its own track back; a new cell takes a track
// unused for ten minutes, else the one of the weakest neighbour.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "session/latest_reports.h"

namespace norvane {

inline constexpr int kHistorySeconds = 600;
inline constexpr std::size_t kHistoryTracks = 8;  // the serving cell and up to 7 neighbours
inline constexpr std::size_t kHistoryNeighbours = kHistoryTracks - 1;

// A cell as the plot names it: LTE by EARFCN and PCI, WCDMA by UARFCN and PSC.
struct HistoryCell {
    bool lte = false;
    std::uint32_t channel = 0;
    std::uint16_t code = 0;
    bool operator==(const HistoryCell&) const = default;
};

// One cell's values at one moment: RSRP and RSRQ, or RSCP and Ec/Io.
struct HistoryValue {
    HistoryCell cell;
    float level = 0;
    float quality = 0;
};

class SignalHistory {
  public:
    struct Sample {
        std::int64_t second = -1;  // -1: never written
        float level = 0;
        float quality = 0;
        bool serving = false;  // the serving cell's value at that second
    };
    struct Track {
        bool used = false;
        HistoryCell cell;
        std::int64_t lastSecond = -1;
        std::array<Sample, kHistorySeconds> ring{};
    };

    // The serving cell's value (when `serving` is not null) and the neighbours' at `second`
    // (any monotonic count of seconds); the strongest kHistoryNeighbours neighbours are kept.
    // A serving cell other than the last one is a handover at `second`. Allocates nothing.
    void Take(std::int64_t second, const HistoryValue* serving,
              std::span<const HistoryValue> neighbours);

    // A handover the signalling showed at `second` (the serving cell's change marks one too).
    void MarkHandover(std::int64_t second);

    const std::array<Track, kHistoryTracks>& tracks() const { return tracks_; }
    // The sample of `track` at `second`, or nullptr when none was taken then.
    const Sample* At(const Track& track, std::int64_t second) const;
    // Handover at `second` (within the last kHistorySeconds of the newest second taken).
    bool HandoverAt(std::int64_t second) const;
    std::int64_t newest() const { return newest_; }

  private:
    void Put(const HistoryValue& value, std::int64_t second, bool serving);
    Track& TrackFor(const HistoryCell& cell, std::int64_t second);

    std::array<Track, kHistoryTracks> tracks_{};
    std::array<std::int64_t, kHistorySeconds> handovers_{};  // the second of each slot's handover
    bool hasServing_ = false;
    HistoryCell serving_;
    std::int64_t newest_ = -1;
};

}  // namespace norvane
