#include "session/port_sessions.h"

#include <algorithm>
#include <utility>

#include "link/serial_port.h"
#include "session/texts.h"

namespace norvane {

PortSessions::PortSessions() : census_(std::make_shared<WorkerCensus>()) {}

PortSessions::~PortSessions() {
    for (const std::unique_ptr<Port>& port : ports_) {
        port->worker->Release();
    }
}

PortSessions::Port* PortSessions::Find(const std::string& device) {
    for (const std::unique_ptr<Port>& port : ports_) {
        // The device it was opened on, or the one it monitors since the modem came back.
        if (port->device == device || port->worker->Device() == device) {
            return port.get();
        }
    }
    return nullptr;
}

PortSessions::Port& PortSessions::Open(const std::string& device) {
    ports_.push_back(
        std::make_unique<Port>(Port{device, std::make_shared<SessionWorker>(census_)}));
    std::erase_if(ending_, [](const Ending& e) { return e.ended->Done(); });
    std::vector<std::shared_ptr<SessionWorker::Ended>> earlier;
    for (const Ending& e : ending_) {
        if (!device.empty() && e.device == device) {
            earlier.push_back(e.ended);
        }
    }
    if (!earlier.empty()) {
        // On the new worker: the earlier session's stop frames go out first, and its port is
        // free before this one opens it.
        ports_.back()->worker->Post([earlier = std::move(earlier)](MonitoringSession&) {
            for (const auto& ended : earlier) {
                ended->WaitFor(kPortHandOverWait);
            }
        });
    }
    return *ports_.back();
}

void PortSessions::Drop(const SessionWorker* worker) {
    for (const std::unique_ptr<Port>& p : ports_) {
        if (p->worker.get() == worker) {
            ending_.push_back({p->device, worker->EndSignal()});
            if (const std::string now = worker->Device(); !now.empty() && now != p->device) {
                ending_.push_back({now, worker->EndSignal()});
            }
        }
    }
    std::erase_if(ports_,
                  [&](const std::unique_ptr<Port>& p) { return p->worker.get() == worker; });
}

SessionSeat::SessionSeat(PortSessions& sessions, MonitorView& view, LogView role,
                         std::vector<std::uint16_t> codes)
    : sessions_(sessions), view_(view), role_(role), codes_(std::move(codes)) {}

SessionSeat::~SessionSeat() {
    Leave(false);
}

void SessionSeat::Post(void (MonitoringSession::*call)()) {
    if (worker_) {
        worker_->Post([call](MonitoringSession& s) { (s.*call)(); });
    }
}

void SessionSeat::RecordPosition(CaptureTime time, std::string line) {
    if (worker_) {
        worker_->Post(
            [time, line = std::move(line)](MonitoringSession& s) { s.RecordPosition(time, line); });
    }
}

void SessionSeat::SelectPort(const std::string& entry) {
    // No entry is no port: never another view's session.
    PortSessions::Port* chosen = entry.empty() ? nullptr : sessions_.Find(PortDevicePath(entry));
    const bool alone = worker_ && worker_->Views() == 1;
    if (alone && (chosen == nullptr || chosen->worker == worker_)) {
        // The view's own session goes over to the new port (or opens its port again): the old
        // port closed without frames, the new one opened and started, as a choice always did.
        for (const std::unique_ptr<PortSessions::Port>& port : sessions_.ports_) {
            if (port->worker == worker_) {
                port->device = entry.empty() ? std::string() : PortDevicePath(entry);
            }
        }
        worker_->Post([recorder = recorder_, entry](MonitoringSession& s) {
            s.SetRecorder(recorder);
            s.StartOn(entry);
        });
        return;
    }
    if (chosen == nullptr || chosen->worker != worker_) {
        Leave(false);
    }
    Join(entry);
}

void SessionSeat::Join(const std::string& entry) {
    PortSessions::Port* port = entry.empty() ? nullptr : sessions_.Find(PortDevicePath(entry));
    const bool fresh = port == nullptr;
    if (fresh) {
        port = &sessions_.Open(entry.empty() ? std::string() : PortDevicePath(entry));
    }
    if (worker_ != port->worker) {
        worker_ = port->worker;
        worker_->Attach(view_);
    }
    if (fresh) {
        worker_->Post([recorder = recorder_](MonitoringSession& s) { s.SetRecorder(recorder); });
    }
    worker_->Post([role = role_, codes = codes_, entry](MonitoringSession& s) {
        if (role == LogView::kMonitor) {
            s.JoinMonitor();
        } else {
            s.SetLogCodes(role, codes);  // the union goes out at once on an open port
        }
        if (!s.PortOpen() && !s.WaitingForModem()) {
            s.StartOn(entry);  // a session of its own, or one whose port did not open
        } else if (role == LogView::kMonitor) {
            s.SwitchCellsOn();
        }
    });
    if (!fresh) {
        // What the others' session is doing, for this view alone.
        worker_->Tell(view_, [](const MonitoringSession& s, MonitorView& v) {
            if (s.PortOpen()) {
                v.ShowMonitoring(s.Device());
            } else if (s.WaitingForModem()) {
                v.SetUpTimeText(kDisconnectedText);
                v.PortStateChanged(true);
            }
        });
    }
}

void SessionSeat::Leave(bool stop) {
    if (!worker_) {
        return;
    }
    const std::shared_ptr<SessionWorker> worker = std::move(worker_);
    worker->Detach(view_);
    if (worker->Views() == 0) {
        if (stop) {
            worker->Post([](MonitoringSession& s) { s.Stop(); });
        }
        worker->Release();
        sessions_.Drop(worker.get());
        return;
    }
    worker->Post([role = role_, stop](MonitoringSession& s) {
        if (role == LogView::kMonitor) {
            s.LeaveMonitor(stop);
        } else {
            s.LeaveView(role, stop);
        }
    });
}

}  // namespace norvane
