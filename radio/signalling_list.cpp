#include "radio/signalling_list.h"

#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>
#include <utility>

#include "diag/signalling_names.h"

namespace norvane {
namespace {

void CopyText(std::string_view text, std::array<char, 64>& out) {
    const std::size_t n = std::min(text.size(), out.size() - 1);
    std::copy_n(text.begin(), n, out.begin());
    out[n] = '\0';
}

// "16:32:41.118" (UTC, as the JSON lines give it).
QString TimeOfDay(std::int64_t unixMs) {
    const std::int64_t ms = ((unixMs % 86400000) + 86400000) % 86400000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

}  // namespace

SignallingRow MessageRow(const SignallingMessage& message, std::int64_t unixMs) {
    SignallingRow row;
    row.unixMs = unixMs;
    row.protocol = message.protocol;
    row.rat = message.rat;
    row.direction = message.direction;
    row.channel = message.channel;
    CopyText(message.name, row.text);
    return row;
}

SignallingRow NoteRow(std::string_view text, std::int64_t unixMs) {
    SignallingRow row;
    row.unixMs = unixMs;
    row.note = true;
    CopyText(text, row.text);
    return row;
}

void SignallingInbox::Take(const DecodedLogFrame& frame, std::int64_t unixMs) {
    const std::lock_guard lock(mutex_);
    const std::optional<SignallingMessage> whole = joiner_.Add(frame);
    if (!whole) {
        return;  // a part of a message still to come, or one dropped for a missing part
    }
    const SignallingMessage& message = *whole;
    const RrcEvent event = tracker_.Add(message);
    Put(MessageRow(message, unixMs));
    if (event.kind == RrcEvent::Kind::kHandover) {
        std::array<char, 64> text{};
        const std::size_t n = HandoverText(event, text);
        Put(NoteRow(std::string_view(text.data(), n), unixMs));
        ++handovers_;
    }
}

void SignallingInbox::Put(const SignallingRow& row) {
    ring_[(first_ + count_) % ring_.size()] = row;
    if (count_ < ring_.size()) {
        ++count_;
    } else {
        first_ = (first_ + 1) % ring_.size();  // the oldest waiting row goes
    }
}

std::size_t SignallingInbox::Drain(std::vector<SignallingRow>& out) {
    out.clear();
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < count_; ++i) {
        out.push_back(ring_[(first_ + i) % ring_.size()]);
    }
    first_ = count_ = 0;
    return std::exchange(handovers_, 0);
}

RrcState SignallingInbox::State() const {
    const std::lock_guard lock(mutex_);
    return tracker_.state();
}

int SignallingModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SignallingModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant SignallingModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) {
        return {};
    }
    const SignallingRow& r = Row(index.row());
    switch (index.column()) {
        case kTime:
            return TimeOfDay(r.unixMs);
        case kDirection:
            return r.note                                        ? QString()
                   : r.direction == SignallingDirection::kUplink ? QStringLiteral("UL")
                                                                 : QStringLiteral("DL");
        case kTechnology:
            return r.note                         ? QString()
                   : r.rat == SignallingRat::kLte ? QStringLiteral("LTE")
                                                  : QStringLiteral("WCDMA");
        case kChannel: {
            if (r.note) {
                return QString();
            }
            if (r.protocol == SignallingProtocol::kNas) {
                return QStringLiteral("NAS");
            }
            const std::string_view name = SignallingChannelName(r.channel);
            return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        }
        case kMessage:
            return r.text[0] != '\0' || r.note ? QString::fromUtf8(r.text.data())
                                               : QStringLiteral("(not named)");
        default:
            return {};
    }
}

QVariant SignallingModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kColumns] = {"Time", "Dir", "Technology", "Channel",
                                                   "Message"};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kColumns) {
        return {};
    }
    return QString::fromLatin1(kHeaders[section]);
}

void SignallingModel::Append(const std::vector<SignallingRow>& rows) {
    if (rows.empty()) {
        return;
    }
    // Only the newest kSignallingRows of what comes can stay.
    const std::size_t taken = std::min(rows.size(), kSignallingRows);
    const std::size_t total = rows_.size() + taken;
    const std::size_t dropped = total > kSignallingRows ? total - kSignallingRows : 0;
    if (dropped > 0) {
        beginRemoveRows({}, 0, static_cast<int>(dropped) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(dropped));
        endRemoveRows();
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(taken) - 1);
    rows_.insert(rows_.end(), rows.end() - static_cast<std::ptrdiff_t>(taken), rows.end());
    endInsertRows();
}

SignallingList::SignallingList(QWidget* parent) : QTableView(parent) {
    setModel(&model_);
    setAccessibleName(QStringLiteral("Signalling"));
    setFocusPolicy(Qt::StrongFocus);
    setTabKeyNavigation(false);  // Tab leaves the list, arrows move inside
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    const auto width = [this](const char* text) {
        return fontMetrics().horizontalAdvance(QString::fromLatin1(text)) + 16;
    };
    setColumnWidth(SignallingModel::kTime, width("00:00:00.000"));
    setColumnWidth(SignallingModel::kDirection, width("Dir"));
    setColumnWidth(SignallingModel::kTechnology, width("Technology"));
    setColumnWidth(SignallingModel::kChannel, width("BCCH-DL-SCH") - 8);
    drained_.reserve(kSignallingRows);
}

std::size_t SignallingList::Show() {
    const std::size_t handovers = inbox_.Drain(drained_);
    if (drained_.empty()) {
        return handovers;
    }
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    model_.Append(drained_);
    if (following) {
        scrollToBottom();
    }
    return handovers;
}

}  // namespace norvane
