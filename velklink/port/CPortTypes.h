// The serial port component's enumerations and its set of line events.
#pragma once

#include <cstdint>
#include <initializer_list>

// Line speeds; each means the bits per second in its name. brCustom uses the
// port's CustomBaudRate.
enum TBaudRate : int32_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
};
// The bits per second of a line speed; custom for brCustom.
constexpr int32_t BitsPerSecond(TBaudRate rate, int32_t custom) {
    constexpr int32_t rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rate == brCustom ? custom : rates[rate];
}
enum TStopBits : int32_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : int32_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : int32_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : int32_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : int32_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
// fcHardware: RTS handshake and CTS output flow; fcSoftware: XON/XOFF both ways;
// fcNone: all four off; fcCustom: any other mix (setting it changes nothing).
enum TFlowControl : int32_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : int32_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full,
};
// How line events reach their handlers: smThreadSync has the thread that opened
// the port run the dispatch of a whole set and waits until it has run;
// smWindowSync hands each event to that thread without waiting (at most one
// notice of a kind waits there at a time); smNone dispatches on the event
// thread itself.
enum TSyncMethod : int32_t { smThreadSync, smWindowSync, smNone };

class TComEvents {
public:
    constexpr TComEvents() = default;
    constexpr TComEvents(std::initializer_list<TComEvent> events) {
        for (TComEvent e : events)
            Include(e);
    }
    static constexpr TComEvents All() {
        return {evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full};
    }

    constexpr bool Contains(TComEvent e) const { return (bits_ & Bit(e)) != 0; }
    constexpr void Include(TComEvent e) { bits_ |= Bit(e); }
    constexpr void Exclude(TComEvent e) { bits_ &= ~Bit(e); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TComEvents operator&(TComEvents other) const { return FromBits(bits_ & other.bits_); }
    constexpr bool operator==(const TComEvents &) const = default;

private:
    static constexpr uint16_t Bit(TComEvent e) { return static_cast<uint16_t>(1u << e); }
    static constexpr TComEvents FromBits(uint16_t bits) {
        TComEvents events;
        events.bits_ = bits;
        return events;
    }
    uint16_t bits_ = 0;
};
