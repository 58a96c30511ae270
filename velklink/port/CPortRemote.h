// TRemoteLine: a serial line reached over the network (rfc2217:// and
// socket:// port names), as the port's line: a TCP connection, for rfc2217
// with the Telnet filter between the socket and the input the port reads, so
// the link above sees exactly the decoder's bytes. It runs on the port's
// owning thread; the event thread only waits on the socket's WaitHandle.
#pragma once

#include "CPortLine.h"
#include "CPortRemoteName.h"
#include "CPortSocket.h"
#include "CPortTelnet.h"
#include "CPortTypes.h"

#include <cstdint>
#include <optional>
#include <string>

// The line settings a remote port asks the server for.
struct TRemoteLineSettings {
    uint32_t BitsPerSecond = 115200;
    uint8_t DataBits = 8; // 5..8
    TParityBits Parity = prNone;
    TStopBits StopBits = sbOneStopBit;
    TFlowControl Flow = fcNone; // fcNone, fcSoftware or fcHardware
    bool Dtr = false;
    bool Rts = false;
    bool operator==(const TRemoteLineSettings &) const = default;
};

class TRemoteLine final : public TPortLine {
public:
    // How long connecting may take.
    static constexpr int kConnectMs = 5000;
    // How long the server may take to agree to the COM-PORT-OPTION and answer
    // the four line settings (speed, data bits, parity, stop bits).
    static constexpr int kSettingsMs = 3000;
    // socket://: how long the open watches for the server's refusal (ser2net
    // writes its reason and closes at once when it cannot open its device).
    static constexpr int kRefusalMs = 200;

    // Connects and, for rfc2217, negotiates the options and sets the line,
    // waiting for the answers to its four settings (not to DTR and RTS, which
    // servers on devices without modem lines never answer). Failures are
    // EComPort ceOpen with a cause naming HOST:PORT, or the text the server
    // sent instead of data ("Port already in use").
    TRemoteLine(const TRemoteName &name, const TRemoteLineSettings &settings);
    // The line settings a remote port asks its server for.
    static TRemoteLineSettings SettingsOf(const TCustomComPort &port);

    // rfc2217: sends the settings that differ from those sent before, without
    // waiting for answers; socket://: nothing (the server sets the line).
    void SetLine(const TRemoteLineSettings &settings);
    // SetLine with the port's settings.
    void Apply(const TCustomComPort &port) override;
    // Every arrival is noticed: the connection cannot wait for a count.
    void SetRxThreshold(int32_t) override {}
    // Sends count bytes within limitMs (0: no limit); ceWrite with ETIMEDOUT's
    // code past it, with the system's code when the connection has gone.
    int32_t Write(const void *buffer, int32_t count, int64_t limitMs) override;
    // Up to count of the line's bytes that have arrived, without waiting;
    // ceRead once the connection has gone and its last bytes are read.
    int32_t Read(void *buffer, int32_t count, bool discardNull) override;
    // The line's bytes waiting; ceInputCount once the connection has gone and
    // nothing waits.
    int32_t InputCount() override;
    // rfc2217: asks the server to drop the bytes it holds for this end
    // (PURGE-DATA); both: drops those that have arrived. Never waits.
    void Purge() override;
    // The last look at the connection stopped at its share (kPullShare) with
    // bytes possibly still in the socket: no new arrival may announce them.
    bool Backlog() const override { return backlog_; }
    // The event thread waits on the connection.
    void Watch(TComThread &thread) override;

private:
    // Takes what has arrived into input_, answering the server's negotiation:
    // at most kPullShare bytes of the connection per call, whatever they hold.
    void Pull();
    // Sends what the connection takes now of the answers owed to the server.
    void FlushOwed();
    void Negotiate(const TRemoteLineSettings &settings);
    void WatchForRefusal();
    // Sends the answers still owed, then bytes, whole; at most limitMs when
    // limitMs > 0.
    void SendAll(const std::string &bytes, int64_t limitMs, int32_t code);
    // As SetLine, sending within limitMs.
    void SendLine(const TRemoteLineSettings &settings, int64_t limitMs);
    // The open's failure: the server's own text when it sent one, else cause.
    [[noreturn]] void FailOpen(const std::string &cause);

    TRemoteName name_;
    TPortSocket socket_;
    std::optional<TTelnetFilter> telnet_;
    std::optional<TRemoteLineSettings> sent_; // the settings the server was last sent
    std::string input_;                       // the line's bytes not yet read, from inputAt_
    size_t inputAt_ = 0;
    // Answers to the server's negotiation that the connection has not taken
    // yet; they go out before anything else this end sends.
    std::string owed_;
    bool backlog_ = false;
    bool closed_ = false;
    int32_t lostCode_ = 0;
};
