// The radio window's list of the modem's signalling: one row per RRC or NAS message, newest last,
// with its time, direction, technology, channel and name (as Wireshark names it).
//
// Messages come in through Take from any thread (the receive thread) into a ring of fixed size;
// the window's timer calls Show on the UI thread, which moves what is new into the list. The list
// keeps the last kSignallingRows rows (the oldest go), so memory stays the same however long it
// runs. It follows the newest row unless the user has scrolled up; it is one focusable table, its
// accessible name "Signalling".
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "diag/log_decoder.h"
#include "diag/rrc_tracker.h"
#include "diag/signalling.h"

namespace norvane {

inline constexpr std::size_t kSignallingRows = 2000;

// One row: a message, or a line the window adds itself ("Handover PCI 185 → 193").
struct SignallingRow {
    std::int64_t unixMs = 0;  // when it went (the modem's time, else the host's)
    bool note = false;        // a line of the window's, not a message
    SignallingProtocol protocol = SignallingProtocol::kRrc;
    SignallingRat rat = SignallingRat::kLte;
    SignallingDirection direction = SignallingDirection::kDownlink;
    SignallingChannel channel = SignallingChannel::kNone;
    std::array<char, 64> text{};  // the message's name, or the note; NUL-terminated, cut to fit
};

SignallingRow MessageRow(const SignallingMessage& message, std::int64_t unixMs);
SignallingRow NoteRow(std::string_view text, std::int64_t unixMs);

// The messages taken and not yet shown (any thread): their rows in a ring of fixed size, and the
// RRC state and handovers they show (diag/rrc_tracker.h); a handover adds its own row.
class SignallingInbox {
  public:
    // A message, or a part of one (joined with the others); allocates nothing; when more than
    // kSignallingRows wait, the oldest goes.
    void Take(const DecodedLogFrame& frame, std::int64_t unixMs);
    // Moves what waits into `out` (cleared first), oldest first, and says how many handovers
    // came since the last call; UI thread.
    std::size_t Drain(std::vector<SignallingRow>& out);
    RrcState State() const;

  private:
    void Put(const SignallingRow& row);

    mutable std::mutex mutex_;
    std::array<SignallingRow, kSignallingRows> ring_{};
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    SignallingJoiner joiner_;
    RrcTracker tracker_;
    std::size_t handovers_ = 0;
};

class SignallingModel final : public QAbstractTableModel {
  public:
    enum Column { kTime, kDirection, kTechnology, kChannel, kMessage, kColumns };

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Appends `rows`, dropping the oldest beyond kSignallingRows.
    void Append(const std::vector<SignallingRow>& rows);
    const SignallingRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  private:
    std::deque<SignallingRow> rows_;
};

class SignallingList final : public QTableView {
  public:
    explicit SignallingList(QWidget* parent = nullptr);

    // Any thread.
    void Take(const DecodedLogFrame& frame, std::int64_t unixMs) { inbox_.Take(frame, unixMs); }
    // UI thread: shows what came since the last call; follows the newest row unless the user
    // has scrolled away from the bottom. Returns the number of handovers among it.
    std::size_t Show();
    RrcState State() const { return inbox_.State(); }
    const SignallingModel& Model() const { return model_; }

  private:
    SignallingInbox inbox_;
    SignallingModel model_;
    std::vector<SignallingRow> drained_;  // reused
};

}  // namespace norvane
