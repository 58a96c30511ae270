// TTelnetFilter: the client's side of a Telnet connection (RFC 854) that
// carries a serial line with the COM-PORT-OPTION (RFC 2217), as a pure filter
// between the socket and the port's input: received bytes in, the line's data
// and the answers owed to the server out. It holds a few bytes of state
// whatever the server sends, so a command or subnegotiation split between two
// reads is taken out whole.
//
// The stream (every command begins with IAC; any other byte is data):
//
//   | bytes                      | meaning                                      |
//   |----------------------------|----------------------------------------------|
//   | FF FF                      | one data byte 0xFF                           |
//   | FF FB/FC/FD/FE opt         | WILL, WONT, DO, DONT option opt              |
//   | FF FA opt bytes... FF F0   | subnegotiation of opt (FF FF inside: 0xFF)   |
//   | FF F1..F9, FF F0           | NOP, DM, BRK, IP, AO, AYT, EC, EL, GA, a lone |
//   |                            | SE: ignored                                  |
//
// Options: BINARY 0 and SUPPRESS-GO-AHEAD 3 both ways, COM-PORT-OPTION 44 from
// the client; every other option (ECHO 1 among them) is refused. Answers follow
// RFC 1143: an option is answered only when its state changes, so two ends
// never loop.
//
// COM-PORT-OPTION subnegotiations (FF FA 2C command value... FF F0); the client
// sends command c, the server answers with c + 100 and the value it took:
//
//   | command         | value                                                   |
//   |-----------------|---------------------------------------------------------|
//   | SET-BAUDRATE 1  | 4 bytes, bits per second, big-endian                    |
//   | SET-DATASIZE 2  | 1 byte, 5..8                                            |
//   | SET-PARITY 3    | 1 byte: 1 none, 2 odd, 3 even, 4 mark, 5 space          |
//   | SET-STOPSIZE 4  | 1 byte: 1 one, 2 two, 3 one and a half                  |
//   | SET-CONTROL 5   | 1 byte: 1 no flow control, 2 XON/XOFF, 3 hardware,      |
//   |                 | 8/9 DTR on/off, 11/12 RTS on/off                        |
//   | PURGE-DATA 12   | 1 byte: 1 the server's receive buffer, 2 transmit, 3 both|
//
// The server's line-state (106) and modem-state (107) notices and every other
// subnegotiation are read and ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TTelnetFilter {
public:
    static constexpr uint8_t kIac = 0xFF, kDont = 0xFE, kDo = 0xFD, kWont = 0xFC, kWill = 0xFB, kSb = 0xFA, kSe = 0xF0;
    static constexpr uint8_t kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPortOption = 44;
    enum TComPortCommand : uint8_t {
        cpSetBaudRate = 1,
        cpSetDataSize = 2,
        cpSetParity = 3,
        cpSetStopSize = 4,
        cpSetControl = 5,
        cpPurgeData = 12,
    };
    // A server's answer to command c is c + kServerOffset.
    static constexpr uint8_t kServerOffset = 100;

    // The client's opening: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD,
    // WILL COM-PORT-OPTION.
    std::string Opening();
    // Takes count received bytes: appends the line's data to data and the
    // answers owed to the server to reply.
    void Receive(const uint8_t *bytes, size_t count, std::string &data, std::string &reply);

    // The server has agreed to the COM-PORT-OPTION, or refused it.
    bool ComPortAgreed() const { return local_[kComPortOption] == kYes; }
    bool ComPortRefused() const { return comPortRefused_; }
    // Whether the server has answered command (1..5) since the last
    // ForgetAnswers, and the value of its last answer (big-endian bytes).
    bool Answered(uint8_t command) const { return command < answers_.size() && answers_[command].answered; }
    uint32_t AnswerValue(uint8_t command) const { return command < answers_.size() ? answers_[command].value : 0; }
    void ForgetAnswers() { answers_ = {}; }

    // Appends count data bytes to out, each 0xFF doubled.
    static void Escape(const uint8_t *bytes, size_t count, std::string &out);
    // The subnegotiation of a COM-PORT-OPTION command with a value of size
    // bytes (big-endian), its 0xFF bytes doubled.
    static std::string ComPortCommand(uint8_t command, uint32_t value, size_t size);

private:
    enum TOptionState : uint8_t { kNo, kYes, kWantYes };
    enum TState : uint8_t { sData, sIac, sOption, sSbOption, sSbData, sSbIac };
    struct TAnswer {
        bool answered = false;
        uint32_t value = 0;
    };
    // The longest subnegotiation kept: a SET-BAUDRATE answer is a command byte
    // and four value bytes; anything longer is no answer this client reads.
    static constexpr size_t kSbKept = 8;

    // The byte after an IAC.
    void Command(uint8_t command, std::string &data);
    void Negotiate(uint8_t verb, uint8_t option, std::string &reply);
    void EndSubnegotiation();
    static bool WantLocal(uint8_t option);
    static bool WantRemote(uint8_t option);

    TState state_ = sData;
    uint8_t verb_ = 0;
    uint8_t sbOption_ = 0;
    std::array<uint8_t, kSbKept> sb_{};
    size_t sbSize_ = 0;                      // bytes of the subnegotiation so far (those beyond kSbKept dropped)
    std::array<TOptionState, 256> local_{};  // options this end performs (WILL/WONT from here)
    std::array<TOptionState, 256> remote_{}; // options the server performs (DO/DONT from here)
    bool comPortRefused_ = false;
    std::array<TAnswer, cpSetControl + 1> answers_{};
};
