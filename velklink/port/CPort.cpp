#include "CPort.h"

#include "CPortRemote.h"

#include <algorithm>

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
    try {
        Close();
    } catch (...) {
        // Nothing may leave a destructor.
    }
}

void TCustomComPort::SetConnected(bool value) {
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::Open() {
    if (connected_)
        return;
    line_ = OpenLine();
    StartDevice();
}

std::unique_ptr<TPortLine> TCustomComPort::OpenLine() const {
    const std::optional<TRemoteName> remote = ParseRemoteName(port_);
    if (!remote)
        return std::make_unique<TPortDevice>(*this);
    if (!remote->Error.empty())
        throw EComPort::WithCause(ceOpen, -1, remote->Error);
    return std::make_unique<TRemoteLine>(*remote, TRemoteLine::SettingsOf(*this));
}

void TCustomComPort::StartDevice() {
    connected_ = true;
    try {
        line_->Apply(*this);
        if (!events_.Empty()) {
            if (syncMethod_ != smNone)
                delivery_ = std::make_unique<TMessageTarget>();
            eventsWaiting_ = 0;
            lineFailed_ = false;
            backlogNoticed_ = false;
            thread_ = std::make_unique<TComThread>(*this);
        }
    } catch (...) {
        thread_.reset();
        delivery_.reset();
        ReleaseDevice();
        throw;
    }
}

void TCustomComPort::Close() {
    if (!connected_)
        return;
    // Reads and writes complete within their calls, so none is outstanding here.
    StopEvents();
    line_->Purge();
    ReleaseDevice();
}

void TCustomComPort::ReleaseDevice() {
    line_.reset();
    connected_ = false;
}

int32_t TCustomComPort::Write(const void *buffer, int32_t count) {
    if (count <= 0)
        return 0;
    if (!line_)
        throw EComPort(ceWrite, TPortDevice::ClosedCode());
    return line_->Write(buffer, count, timeouts_.WriteLimit(count));
}

int32_t TCustomComPort::Read(void *buffer, int32_t count) {
    if (count <= 0)
        return 0;
    if (!line_)
        throw EComPort(ceRead, TPortDevice::ClosedCode());
    const int32_t got = line_->Read(buffer, count, discardNull_);
    NoticeBacklog();
    return got;
}

int32_t TCustomComPort::InputCount() {
    if (!line_)
        throw EComPort(ceInputCount, TPortDevice::ClosedCode());
    const int32_t waiting = line_->InputCount();
    NoticeBacklog();
    return waiting;
}

void TCustomComPort::SetRxThreshold(int32_t count) {
    if (line_)
        line_->SetRxThreshold(std::clamp(count, 1, 255));
}

void TCustomComPort::StopEvents() {
    thread_.reset();
    // Notices handed over before the thread ended are still delivered, with the
    // port still open.
    if (delivery_)
        delivery_->HandleWaiting();
    delivery_.reset();
}

void TCustomComPort::SetPort(const std::string &name) {
    if (name == port_)
        return;
    if (!connected_) {
        port_ = name;
        return;
    }
    Close();
    port_ = name;
    Open();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == syncMethod_)
        return;
    if (connected_)
        throw EComPort(ceConnected);
    syncMethod_ = value;
}

void TCustomComPort::SettingsChanged(TComSettingsKind kind) {
    if (connected_ && kind == TComSettingsKind::Line)
        line_->Apply(*this);
}

void TCustomComPort::DeliverEvents(TComEvents events) {
    switch (syncMethod_) {
    case smWindowSync: {
        // One notice per event, in this order, unless one of its kind still
        // waits. The handler clears its bit before it looks at the line, so a
        // change after that look always brings a new notice.
        static constexpr TComEvent order[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                              evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
        for (TComEvent event : order) {
            if (!events.Contains(event))
                continue;
            const auto bit = static_cast<uint16_t>(1u << event);
            if (eventsWaiting_.fetch_or(bit) & bit)
                continue;
            const bool posted = delivery_->Send(
                [this, event, bit] {
                    eventsWaiting_.fetch_and(static_cast<uint16_t>(~bit));
                    DispatchEvents({event});
                },
                TMessageTarget::TRelease::Posted);
            if (!posted)
                eventsWaiting_.fetch_and(static_cast<uint16_t>(~bit));
        }
        break;
    }
    case smThreadSync:
        delivery_->Send([this, events] { DispatchEvents(events); }, TMessageTarget::TRelease::Handled);
        break;
    case smNone:
        RunReportingErrors([this, events] { DispatchEvents(events); });
        break;
    }
}

void TCustomComPort::LineFailed(const EComPort &error) {
    if (lineFailed_)
        return;
    lineFailed_ = true;
    OnLineError(*this, error);
}

void TCustomComPort::DeliverLineError(int32_t systemCode) {
    auto dispatch = [this, systemCode] {
        if (connected_ && OnLineError)
            LineFailed(EComPort(ceRead, systemCode));
    };
    if (syncMethod_ == smNone)
        RunReportingErrors(dispatch);
    else
        delivery_->Send(dispatch, TMessageTarget::TRelease::Posted);
}

void TCustomComPort::DispatchEvents(TComEvents events) {
    if (!connected_)
        return;
    if (events.Contains(evRxChar)) {
        int32_t count;
        try {
            count = InputCount();
        } catch (const EComPort &error) {
            // The line has gone under the notice: its owner hears of it once.
            if (!OnLineError)
                throw;
            LineFailed(error);
            return;
        }
        if (count > 0 && OnRxChar)
            OnRxChar(*this, count);
    }
}

void TCustomComPort::NoticeBacklog() {
    if (!connected_ || !delivery_ || backlogNoticed_ || !line_->Backlog())
        return;
    backlogNoticed_ = delivery_->Post([this] {
        backlogNoticed_ = false;
        DispatchEvents({evRxChar});
    });
}
