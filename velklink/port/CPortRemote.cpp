#include "CPortRemote.h"

#include "CPortError.h"
#include "velkformat.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// The most of the line's bytes held unread; the rest waits in the socket until
// the port's owner reads (a decoder sends one 2 KiB packet and waits).
constexpr size_t kInputHeld = 64 * 1024;
// How long a change of the line's settings may wait for room in the
// connection (answers to the server's negotiation never wait: they are owed).
constexpr int64_t kCommandSendMs = 1000;
// The longest text of a server's refusal kept in a message.
constexpr size_t kRefusalTextMax = 160;
// The most of what else the server sent that a failure's message shows.
constexpr size_t kExcerptMax = 24;
// The most bytes one look at the connection takes: four socket reads, what a
// 115200-baud line carries in 1.4 s, so a server that sends without end (data
// or nothing but Telnet commands) never holds the caller long.
constexpr size_t kPullShare = 16 * 1024;
// The most answers owed to a server that does not take them: beyond it the
// connection is not read until it does (an honest negotiation owes a few dozen
// bytes).
constexpr size_t kOwedMax = 4096;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, 1 << 30));
}

std::string LineText(const TRemoteLineSettings &s) {
    static constexpr char parities[] = {'N', 'O', 'E', 'M', 'S'};
    static constexpr const char *stops[] = {"1", "1.5", "2"};
    return Format("%u %d%s%s", s.BitsPerSecond, s.DataBits, std::string(1, parities[s.Parity]), stops[s.StopBits]);
}

} // namespace

TRemoteLine::TRemoteLine(const TRemoteName &name, const TRemoteLineSettings &settings)
    : name_(name), socket_(name, kConnectMs) {
    if (name.Kind == TRemoteKind::Rfc2217) {
        telnet_.emplace();
        Negotiate(settings);
    } else {
        WatchForRefusal();
    }
}

void TRemoteLine::Negotiate(const TRemoteLineSettings &settings) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSettingsMs);
    const std::string address = name_.Address();
    SendAll(telnet_->Opening(), kSettingsMs, ceOpen);
    static constexpr uint8_t kSettings[] = {TTelnetFilter::cpSetBaudRate, TTelnetFilter::cpSetDataSize,
                                            TTelnetFilter::cpSetParity, TTelnetFilter::cpSetStopSize};
    for (;;) {
        Pull();
        if (closed_)
            FailOpen(address + " closed the connection before the line was set up");
        if (telnet_->ComPortRefused())
            FailOpen(address +
                     " does not set serial lines (no RFC 2217 COM-PORT-OPTION; for a raw TCP port use "
                     "socket://" +
                     address + ")");
        if (!sent_ && telnet_->ComPortAgreed())
            SendLine(settings, std::max(RemainingMs(deadline), 1));
        if (sent_ && std::all_of(std::begin(kSettings), std::end(kSettings),
                                 [&](uint8_t command) { return telnet_->Answered(command); }))
            break;
        const int left = RemainingMs(deadline);
        if (left == 0)
            FailOpen(sent_ ? address + " did not answer the line settings within 3 s"
                           : address +
                                 " did not agree to the RFC 2217 COM-PORT-OPTION within 3 s (for a raw TCP "
                                 "port use socket://" +
                                 address + ")");
        // Bytes left in the socket by the share of the last look are read
        // at once; answers the server has not taken wait for room; otherwise
        // the next arrival is waited for.
        if (owed_.size() >= kOwedMax)
            socket_.Wait(true, left);
        else if (!backlog_)
            socket_.Wait(false, left);
    }
    // The server answers with the settings it took.
    const TRemoteLineSettings &s = *sent_;
    static constexpr uint32_t stopValues[] = {1, 3, 2};
    if (telnet_->AnswerValue(TTelnetFilter::cpSetBaudRate) != s.BitsPerSecond ||
        telnet_->AnswerValue(TTelnetFilter::cpSetDataSize) != s.DataBits ||
        telnet_->AnswerValue(TTelnetFilter::cpSetParity) != uint32_t(s.Parity) + 1 ||
        telnet_->AnswerValue(TTelnetFilter::cpSetStopSize) != stopValues[s.StopBits])
        FailOpen(address + " cannot set its line to " + LineText(s));
}

void TRemoteLine::WatchForRefusal() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kRefusalMs);
    for (int left = kRefusalMs; left > 0; left = RemainingMs(deadline)) {
        if (!socket_.Wait(false, left))
            break;
        const size_t before = input_.size();
        Pull();
        if (closed_)
            FailOpen(name_.Address() + " closed the connection");
        if (input_.size() == before)
            break; // nothing taken: the input held is full
    }
}

void TRemoteLine::FailOpen(const std::string &cause) {
    // What a server sends instead of data when it cannot serve the line:
    // ser2net's "Device open failure: ..." or "Port already in use", one line
    // of text, ended or followed by the close. Anything else it sent is no
    // reason: the cause is, with the first few bytes of what came, unprintable
    // ones as '.'.
    const std::string received = input_.substr(inputAt_);
    std::string text = received.substr(0, kRefusalTextMax);
    const size_t lineEnd = text.find_first_of("\r\n");
    text = text.substr(0, lineEnd);
    const bool ended = lineEnd != std::string::npos || (closed_ && received.size() <= kRefusalTextMax);
    const bool isText = ended && !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
                            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
                        });
    if (isText)
        throw EComPort::WithCause(ceOpen, -1, name_.Address() + ": " + text);
    std::string message = cause;
    if (!received.empty()) {
        std::string excerpt = received.substr(0, kExcerptMax);
        std::replace_if(
            excerpt.begin(), excerpt.end(),
            [](char c) { return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F; }, '.');
        message += " (it sent \"" + excerpt + (received.size() > kExcerptMax ? "\"...)" : "\")");
    }
    throw EComPort::WithCause(ceOpen, -1, message);
}

void TRemoteLine::SetLine(const TRemoteLineSettings &settings) {
    SendLine(settings, kCommandSendMs);
}

void TRemoteLine::SendLine(const TRemoteLineSettings &settings, int64_t limitMs) {
    if (!telnet_ || sent_ == settings)
        return;
    using F = TTelnetFilter;
    const bool all = !sent_;
    const TRemoteLineSettings before = all ? TRemoteLineSettings{} : *sent_;
    std::string out;
    if (all || settings.BitsPerSecond != before.BitsPerSecond)
        out += F::ComPortCommand(F::cpSetBaudRate, settings.BitsPerSecond, 4);
    if (all || settings.DataBits != before.DataBits)
        out += F::ComPortCommand(F::cpSetDataSize, settings.DataBits, 1);
    if (all || settings.Parity != before.Parity)
        out += F::ComPortCommand(F::cpSetParity, uint32_t(settings.Parity) + 1, 1);
    static constexpr uint32_t stopValues[] = {1, 3, 2};
    if (all || settings.StopBits != before.StopBits)
        out += F::ComPortCommand(F::cpSetStopSize, stopValues[settings.StopBits], 1);
    // SET-CONTROL: 1 no flow control, 2 XON/XOFF, 3 hardware; DTR 8 on, 9 off;
    // RTS 11 on, 12 off.
    if (all || settings.Flow != before.Flow)
        out += F::ComPortCommand(F::cpSetControl,
                                 settings.Flow == fcSoftware   ? 2
                                 : settings.Flow == fcHardware ? 3
                                                               : 1,
                                 1);
    if (all || settings.Dtr != before.Dtr)
        out += F::ComPortCommand(F::cpSetControl, settings.Dtr ? 8 : 9, 1);
    if (all || settings.Rts != before.Rts)
        out += F::ComPortCommand(F::cpSetControl, settings.Rts ? 11 : 12, 1);
    SendAll(out, limitMs, ceLineSettings);
    sent_ = settings;
}

void TRemoteLine::Pull() {
    FlushOwed();
    backlog_ = false;
    uint8_t chunk[4096];
    size_t taken = 0;
    while (!closed_ && input_.size() - inputAt_ < kInputHeld && owed_.size() < kOwedMax) {
        if (taken >= kPullShare) {
            backlog_ = true;
            break;
        }
        const int64_t n = socket_.Receive(chunk, sizeof chunk, lostCode_);
        if (n == 0)
            break;
        if (n == TPortSocket::kClosed) {
            closed_ = true;
            break;
        }
        taken += static_cast<size_t>(n);
        if (!telnet_) {
            input_.append(reinterpret_cast<const char *>(chunk), static_cast<size_t>(n));
            continue;
        }
        telnet_->Receive(chunk, static_cast<size_t>(n), input_, owed_);
        FlushOwed();
    }
    // Bytes read are dropped once they are the larger part of the string.
    if (inputAt_ > 0 && inputAt_ * 2 >= input_.size()) {
        input_.erase(0, inputAt_);
        inputAt_ = 0;
    }
}

void TRemoteLine::FlushOwed() {
    if (owed_.empty() || closed_)
        return;
    try {
        owed_.erase(0, socket_.Send(reinterpret_cast<const uint8_t *>(owed_.data()), owed_.size()));
    } catch (const EComPort &) {
        // A connection that takes no answer has gone; its next read says so.
        owed_.clear();
    }
}

void TRemoteLine::SendAll(const std::string &bytes, int64_t limitMs, int32_t code) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    // The owed answers first: a command cut by a partial send must be whole
    // before anything else follows it.
    const std::string whole = owed_.empty() ? bytes : owed_ + bytes;
    owed_.clear();
    const auto *data = reinterpret_cast<const uint8_t *>(whole.data());
    size_t sent = 0;
    while (sent < whole.size()) {
        try {
            const size_t n = socket_.Send(data + sent, whole.size() - sent);
            sent += n;
            if (n > 0)
                continue;
        } catch (const EComPort &error) {
            throw EComPort(code, error.SystemCode());
        }
        // The connection's send queue is full: wait for room, within the limit.
        int waitMs = -1;
        if (limitMs > 0) {
            waitMs = RemainingMs(deadline);
            if (waitMs == 0)
                throw EComPort(code, TPortSocket::TimedOutCode());
        }
        socket_.Wait(true, waitMs);
    }
}

int32_t TRemoteLine::Write(const void *buffer, int32_t count, int64_t limitMs) {
    if (closed_)
        throw EComPort(ceWrite, lostCode_);
    const auto *bytes = static_cast<const uint8_t *>(buffer);
    std::string out;
    if (telnet_)
        TTelnetFilter::Escape(bytes, static_cast<size_t>(count), out);
    else
        out.assign(reinterpret_cast<const char *>(bytes), static_cast<size_t>(count));
    SendAll(out, limitMs, ceWrite);
    return count;
}

int32_t TRemoteLine::Read(void *buffer, int32_t count, bool discardNull) {
    Pull();
    auto *bytes = static_cast<char *>(buffer);
    int32_t got = 0;
    while (got < count && inputAt_ < input_.size()) {
        const char c = input_[inputAt_++];
        if (discardNull && c == 0)
            continue;
        bytes[got++] = c;
    }
    if (got == 0 && closed_ && inputAt_ == input_.size())
        throw EComPort(ceRead, lostCode_);
    return got;
}

int32_t TRemoteLine::InputCount() {
    Pull();
    const size_t waiting = input_.size() - inputAt_;
    if (waiting == 0 && closed_)
        throw EComPort(ceInputCount, lostCode_);
    return static_cast<int32_t>(waiting);
}

void TRemoteLine::Purge() {
    if (telnet_ && !closed_) {
        // PURGE-DATA 1: the server's receive buffer, the bytes on their way here.
        // Never waits: what the connection does not take now is dropped
        // with the connection, which is closed next.
        owed_ += TTelnetFilter::ComPortCommand(TTelnetFilter::cpPurgeData, 1, 1);
        FlushOwed();
    }
    input_.clear();
    inputAt_ = 0;
}
