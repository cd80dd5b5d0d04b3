#include "session/monitoring_session.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "diag/command_table.h"
#include "diag/frame_pump.h"
#include "session/recorder.h"
#include "session/texts.h"

namespace norvane {

MonitoringSession::MonitoringSession(MonitorView& view, ReceiveStats* stats, bool monitorFrames)
    : view_(view), stats_(stats), monitorFrames_(monitorFrames) {
    goneFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (goneFd_ < 0 || epollFd_ < 0) {
        // Without them a lost port goes unnoticed, as it always did; monitoring still works, and
        // the first port opened says so once.
        unwatched_ = std::error_code(errno, std::system_category());
        if (goneFd_ >= 0) {
            close(std::exchange(goneFd_, -1));
        }
        if (epollFd_ >= 0) {
            close(std::exchange(epollFd_, -1));
        }
        return;
    }
    if (const std::error_code failed = Watch(goneFd_, true)) {
        unwatched_ = failed;
        close(std::exchange(goneFd_, -1));
        close(std::exchange(epollFd_, -1));
        return;
    }
    receiveThread_.SignalGoneTo(goneFd_);
}

MonitoringSession::~MonitoringSession() {
    Shutdown();
    if (epollFd_ >= 0) {
        close(epollFd_);
        close(goneFd_);
    }
}

void MonitoringSession::SendCommandFrame(std::string_view storedText) {
    const std::size_t length = StoredFrameToBytes(storedText, sendBuffer_);
    WriteRaw({sendBuffer_.data(), length});
}

void MonitoringSession::SendRow(std::string_view rowName) {
    if (const DiagCommandRow* row = FindCommandRow(rowName)) {
        SendCommandFrame(row->strFrame);
    }
}

void MonitoringSession::WriteRaw(std::span<const std::uint8_t> bytes) {
    // Commands are fire-and-forget: a write to no port, or one that fails, goes unnoticed and
    // later frames are still written.
    if (!bytes.empty()) {
        Record(FrameDirection::kToModem, bytes);
        port_.Write(bytes);
    }
}

void MonitoringSession::Record(FrameDirection direction, std::span<const std::uint8_t> bytes) {
    if (recorder_ == nullptr || !port_.IsOpen()) {
        return;
    }
    const CaptureTime now = CaptureClock::now();
    if (direction == FrameDirection::kFromModem) {
        recorder_->OnRead(now, bytes);
    }
    // Each write, and the probe's reply, on its own: the AT$QCDMG text or a lone flag must not
    // run into the next frame.
    recordDeframer_.Reset();
    FrameCounters counters;
    PumpFrames(recordDeframer_, bytes, counters,
               [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                   if (status == HdlcDeframer::Status::kFrame) {
                       recorder_->OnFrame(now, direction, payload);
                   }
               });
}

void MonitoringSession::RecordPosition(CaptureTime time, std::string_view line) {
    const std::lock_guard lock(order_);
    if (recorder_ != nullptr) {
        recorder_->OnPosition(time, line);
    }
    view_.ShowPosition(line);
}

void MonitoringSession::StartOn(const std::string& entry) {
    // Only one receive thread ever reads a port: an earlier thread ends and its port is closed
    // (without stop frames) before the new open. Waiting for a lost modem ends too.
    EndPort();
    sarPaOn_ = false;
    masks_.Set(LogView::kMonitor, {});
    device_.clear();
    if (entry.empty()) {
        view_.MessageBox(kNoMobilePortText, kErrorCaption);
        return;
    }
    if (OpenAndStart(PortDevicePath(entry), false) == Opened::kGone) {
        LosePort();
    }
}

MonitoringSession::Opened MonitoringSession::OpenAndStart(const std::string& device,
                                                          bool resuming) {
    starting_ = true;
    const struct Started {
        bool& flag;
        ~Started() { flag = false; }
    } started{starting_};
    PortError error;
    port_ = SerialPort::Open(device, error);
    if (!port_.IsOpen()) {
        if (!resuming) {
            view_.MessageBox(PortErrorText(error), kErrorCaption);
        }
        return Opened::kNotOpened;
    }
    if (unwatched_ && !unwatchedSaid_) {
        unwatchedSaid_ = true;
        view_.MessageBox(UnwatchedText(unwatched_), kInfoCaption);
    }
    // Taken now: once the device has gone, udev no longer knows what it was.
    identity_ = IdentityOfNode(device);
    device_ = device;
    std::error_code ec;
    linkPath_ = std::filesystem::is_symlink(device, ec) ? device : std::string();

    SendCommandFrame(DiagProbeFrame);
    // The probe's reply is not looked at; only whether the modem answered at all.
    std::array<std::uint8_t, kFrameBufferSize> reply{};
    const ReadResult answer = port_.ReadFrame(reply, kHdlcFlag);
    if (answer.status == ReadStatus::kGone) {
        // Unplugged (or reset) while the probe waited: a lost port, not a modem in AT mode.
        port_.Close();
        return Opened::kGone;
    }
    view_.ShowMonitoring(device);
    if (answer.status == ReadStatus::kData) {
        Record(FrameDirection::kFromModem, {reply.data(), answer.length});
    } else {
        // A modem still in AT mode: an HDLC flag to end any half-received frame, then the
        // switch to diagnostic mode. It takes effect only after the modem is reset.
        const std::uint8_t flag = kHdlcFlag;
        WriteRaw({&flag, 1});
        WriteRaw({reinterpret_cast<const std::uint8_t*>(kModeSwitchText.data()),
                  kModeSwitchText.size()});
        view_.MessageBox(kChangeModeText, kInfoCaption);
    }
    answers_.Reset();
    counts_.reset();
    if (monitorFrames_) {
        SendRow(kRowCellsOn);
        const std::uint16_t cellList = kCellListLogCode;
        masks_.Set(LogView::kMonitor, {&cellList, 1});
    }
    if (resuming && sarPaOn_) {
        SwitchSarPaOn();
    }
    StartReceiveThread();
    // The other views' masks after the monitor's own frames, once the receive thread can hand
    // over the answer to operation 1.
    SendOtherViewsMasks();
    return Opened::kStarted;
}

void MonitoringSession::StartReceiveThread() {
    try {
        receiveThread_.Start(port_, view_, view_, stats_, recorder_, &answers_, &order_);
    } catch (const std::system_error&) {
        view_.MessageBox(kThreadErrorText, kErrorCaption);
    }
}

void MonitoringSession::EndPort() {
    StopWaiting();
    receiveThread_.Stop();
    port_.Close();
}

std::error_code MonitoringSession::Watch(int fd, bool on) const {
    if (fd < 0 || epollFd_ < 0) {
        return {};
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(epollFd_, on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, fd, &event) != 0) {
        return {errno, std::system_category()};
    }
    return {};
}

void MonitoringSession::HandleEvents() {
    if (starting_) {
        return;  // re-entered from the start-up's message box: the events wait for its end
    }
    if (goneFd_ >= 0) {
        eventfd_t count = 0;
        eventfd_read(goneFd_, &count);  // non-blocking: fails when nothing was signalled
    }
    // The loop's own result, not the signal, decides: a port chosen since has its own thread.
    if (PortGone()) {
        LosePort();
    }
    if (waiter_ != nullptr) {
        if (const std::optional<std::string> back = waiter_->ReadEvents()) {
            Resume(*back);
        }
    }
}

void MonitoringSession::LosePort() {
    // The thread has ended; join it and close the dead descriptor. Nothing is written.
    EndPort();
    view_.SetUpTimeText(kDisconnectedText);
    view_.PortStateChanged(true);
    StartWaiting();
}

void MonitoringSession::StartWaiting() {
    waiter_ = std::make_unique<Waiter>(identity_, linkPath_);
    // A watch that cannot start (udev's netlink socket closed to a container, the link's folder
    // gone) leaves its descriptor at -1: the session waits on what it can hear and says once that
    // the modem's return may go unheard (choosing its port again is then the way back).
    const std::error_code unheard = waiter_->Start();
    const std::error_code unwatched = WatchWaiter(true);
    if ((unheard || unwatched) && !unwatchedSaid_) {
        unwatchedSaid_ = true;
        view_.MessageBox(UnwatchedText(unheard ? unheard : unwatched), kInfoCaption);
    }
    // The modem may be back already (a quick reset, or events read before the watch began).
    if (const std::optional<std::string> back = waiter_->LookNow()) {
        Resume(*back);
    }
}

void MonitoringSession::StopWaiting() {
    if (waiter_ == nullptr) {
        return;
    }
    WatchWaiter(false);
    waiter_.reset();
}

std::error_code MonitoringSession::WatchWaiter(bool on) const {
    // Taking a descriptor out fails only for one that was never in: nothing to undo.
    const std::error_code udev = Watch(waiter_->udevFd(), on);
    const std::error_code link = Watch(waiter_->linkFd(), on);
    return udev ? udev : link;
}

void MonitoringSession::Resume(const std::string& device) {
    view_.ShowReturnedPort(device);
    // The waiting ends before the port opens: nothing the watch sees during the start-up
    // exchange reaches the session.
    WatchWaiter(false);
    if (OpenAndStart(device, true) != Opened::kStarted) {
        // Held by another program (ModemManager, often), or gone again at once: keep waiting.
        // The descriptors went in once already, so they go in again.
        [[maybe_unused]] const std::error_code again = WatchWaiter(true);
        return;
    }
    StopWaiting();
    view_.PortStateChanged(false);
}

void MonitoringSession::SelectPort() {
    view_.ResetBars();
    Start();  // ends the old port's thread and closes it before the new open
}

void MonitoringSession::Stop() {
    receiveThread_.ClearRunFlag();
    if (port_.IsOpen()) {
        if (monitorFrames_) {
            SendRow(kRowAgcOff);
            SendRow(kRowCellsOff);
        }
        // The other views' ids too; the cell list's frame has already cleared equipment 4.
        for (const std::uint32_t equipment : masks_.EquipmentBeyondMonitor()) {
            if (!monitorFrames_ || equipment != (kCellListLogCode >> 12)) {
                SendMask(equipment, true);
            }
        }
        const std::uint8_t flag = kHdlcFlag;
        WriteRaw({&flag, 1});
    }
    EndPort();
}

void MonitoringSession::SwitchCellsOn() {
    MonitorNeeds(kCellListLogCode, true, kRowCellsOn);
}

void MonitoringSession::SwitchCellsOff() {
    view_.SetUpTimeText(kRscpOffText);
    MonitorNeeds(kCellListLogCode, false, kRowCellsOff);
}

void MonitoringSession::SwitchSarPaOn() {
    sarPaOn_ = true;
    for (std::string_view row : std::span(kRowsSarPaOn).first(kRowsSarPaOn.size() - 1)) {
        SendRow(row);
    }
    MonitorNeeds(kSarPaLogCode, true, kRowsSarPaOn.back());
}

void MonitoringSession::SwitchSarPaOff() {
    sarPaOn_ = false;
    SendRow(kRowAgcOff);
    // The report's own switch is not a log mask: only a union shared with others is set again.
    MonitorNeeds(kSarPaLogCode, false, {});
}

void MonitoringSession::MonitorNeeds(std::uint16_t code, bool on, std::string_view row) {
    std::vector<std::uint16_t> codes = masks_.Codes(LogView::kMonitor);
    std::erase(codes, code);
    if (on) {
        codes.push_back(code);
    }
    masks_.Set(LogView::kMonitor, codes);
    const std::uint32_t equipment = code >> 12;
    if (masks_.OthersNeed(LogView::kMonitor, equipment)) {
        SendMask(equipment);
    } else if (!row.empty()) {
        SendRow(row);
    }
}

void MonitoringSession::SetLogCodes(LogView view, std::span<const std::uint16_t> codes) {
    if (view == LogView::kMonitor) {
        return;
    }
    const std::vector<std::uint32_t> touched = masks_.Set(view, codes);
    if (!port_.IsOpen() || starting_) {
        return;  // sent by the start-up exchange
    }
    for (const std::uint32_t equipment : touched) {
        SendMask(equipment);
    }
}

void MonitoringSession::LeaveMonitor(bool stop) {
    if (stop && port_.IsOpen()) {
        SendRow(kRowAgcOff);
        MonitorNeeds(kCellListLogCode, false, kRowCellsOff);
        MonitorNeeds(kSarPaLogCode, false, {});
    }
    masks_.Set(LogView::kMonitor, {});
    monitorFrames_ = false;
    sarPaOn_ = false;
}

void MonitoringSession::LeaveView(LogView view, bool stop) {
    if (stop) {
        SetLogCodes(view, {});
    } else if (view != LogView::kMonitor) {
        masks_.Set(view, {});
    }
}

void MonitoringSession::SendOtherViewsMasks() {
    for (const std::uint32_t equipment : masks_.EquipmentBeyondMonitor()) {
        SendMask(equipment);
    }
}

const LogItemCounts& MonitoringSession::ItemCounts() {
    if (!counts_) {
        std::array<std::uint8_t, kLogConfigItemCountsRequestSize> request{};
        BuildLogItemCountsRequest(request);
        std::array<std::uint8_t, 2 * kLogConfigItemCountsRequestSize + 4> frame{};
        WriteRaw({frame.data(), HdlcEncode(request, frame)});
        counts_ = answers_.WaitFor(kItemCountsWait).value_or(kDefaultItemCounts);
    }
    return *counts_;
}

void MonitoringSession::SendMask(std::uint32_t equipment, bool none) {
    if (equipment >= kLogConfigEquipmentCount) {
        return;
    }
    // A stop asks nothing: the receive loop has been told to end.
    const LogItemCounts& counts = none ? counts_.value_or(kDefaultItemCounts) : ItemCounts();
    // An item is 12 bits: a larger count from the modem switches nothing more on.
    const std::uint32_t items = std::min<std::uint32_t>(counts[equipment], 0x1000);
    if (items == 0) {
        return;  // the modem has no logs of this id
    }
    const std::vector<std::uint16_t> codes =
        none ? std::vector<std::uint16_t>{} : masks_.Union(equipment, items);
    std::array<std::uint8_t, kLogConfigMaskOffset + 0x1000 / 8> request{};
    const std::size_t length = BuildLogMaskSet(equipment, items, codes, request);
    std::array<std::uint8_t, 2 * request.size() + 4> frame{};
    // What the other views need is checked against the modem's answer: a log it leaves off is
    // said once, instead of a view that waits for reports that never come.
    const std::vector<std::uint16_t> wanted =
        none ? std::vector<std::uint16_t>{} : masks_.BeyondMonitor(equipment, items);
    if (!wanted.empty()) {
        answers_.ExpectMask(equipment);
    }
    WriteRaw({frame.data(), HdlcEncode({request.data(), length}, frame)});
    if (wanted.empty()) {
        return;
    }
    std::optional<std::vector<std::uint16_t>> off = answers_.WaitForMask(wanted, kMaskAnswerWait);
    if (!off) {  // no answer: only what the item count leaves out is known
        off.emplace();
        std::copy_if(wanted.begin(), wanted.end(), std::back_inserter(*off),
                     [&](std::uint16_t c) { return (c & 0xFFFu) >= items; });
    }
    if (!off->empty()) {
        view_.MessageBox(LogsOffText(*off), kInfoCaption);
    }
}

void MonitoringSession::Shutdown() {
    receiveThread_.ClearRunFlag();
    EndPort();
}

}  // namespace norvane
