// TSimFaults: the line and decoder faults the simulator can inject, and
// TSimDice, the seeded random source that decides each one, so that a run with
// the same seed and the same traffic injects the same faults.
//
// Rates are probabilities from 0 (never) to 1 (always), drawn once per
// occasion named in the comment. Packet faults on what the simulator sends
// name either its DATA packets or its answers (the 12-byte ACK and NACK).
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace velksim {

// The kinds of request the decoder serves, as a bit mask for the faults that
// pick requests.
enum TSimRequest : uint32_t {
    rqSync = 1u << 0,
    rqReadFlash = 1u << 1,
    rqReadEeprom = 1u << 2,
    rqWriteFlash = 1u << 3,
    rqWriteEeprom = 1u << 4,
    rqFirmware = 1u << 5,
    rqOther = 1u << 6, // anything else, including packets that are not valid
    rqReads = rqReadFlash | rqReadEeprom,
    rqWrites = rqWriteFlash | rqWriteEeprom | rqFirmware,
    rqAll = 0x7F,
};

struct TSimFaults {
    // Seed of the dice; the dice restart from it whenever the faults are set.
    uint64_t seed = 1;

    // A DATA packet from the PC arrives with one bit flipped (so the simulator
    // answers NACK and the PC sends it again).
    double corruptReceived = 0;
    // A DATA packet the simulator sends has one bit flipped.
    double corruptSent = 0;
    // An ACK or NACK the simulator sends has one bit flipped.
    double corruptAnswers = 0;
    // An ACK or NACK is lost on the line: the simulator goes on as if it had
    // been sent.
    double dropAnswers = 0;

    // A valid DATA packet from the PC is refused with a NACK carrying nackReason
    // as its reason text: at this rate, and always for the next nackNext
    // packets. (The PC sends a refused packet again without limit, so a rate of
    // 1 keeps it sending for ever.)
    double nackRate = 0;
    int32_t nackNext = 0;
    std::string nackReason = "ERR";

    // Before a packet the simulator sends, 1 to noiseMax noise bytes (never
    // 0xA5, the first byte of every packet marker).
    double noiseRate = 0;
    int32_t noiseMax = 16;

    // A packet the simulator sends (DATA or answer) waits lateMs first.
    double lateRate = 0;
    int32_t lateMs = 0;

    // A DATA packet (partialRate) or an answer (partialAnswers) the simulator
    // sends stops after partialBytes bytes (0: a random length short of the
    // whole packet); the rest never comes.
    double partialRate = 0;
    double partialAnswers = 0;
    int32_t partialBytes = 0;

    // After this many transmissions from the PC (counted from when the faults
    // were set), the simulator answers nothing more; -1: never.
    int32_t stopAfter = -1;
    // After serving this many transmissions, the simulator hangs up the line
    // and stops; -1: never.
    int32_t hangUpAfterTransmissions = -1;
    // Once this many bytes have crossed the line, in either direction, since the
    // faults were set or the PC last opened the line, the simulator hangs up at
    // once (in the middle of a packet, of a transmission, of the PC's write) and
    // stops; -1: never. A cut write request never reaches memory.
    int64_t hangUpAfterBytes = -1;

    // A request of a kind in swallowKinds is acknowledged packet by packet but
    // never gets its transfer answer.
    double swallowRate = 0;
    uint32_t swallowKinds = rqAll;
    // A read request (READ FLASH, READ EEPROM) or a write request (WRITE FLASH,
    // WRITE EEPROM, FIRMWARE) is refused with a transfer NACK; memory is
    // unchanged.
    double refuseReads = 0;
    double refuseWrites = 0;
    // A read request is answered with DATA one byte shorter than asked for (no
    // byte for a 1-byte read): the answer is sound, its length is not.
    double shortReads = 0;

    // A hostile decoder. hostileAnswers: a transfer answer is replaced by one a
    // sound decoder never sends for it (random bytes; the answer with its
    // command or a length field broken, or cut short; a well-formed packet of a
    // kind that does not answer the request; DATA with fewer or more bytes than
    // asked for), still sent as a proper link transmission. hostilePackets: a
    // link packet the simulator sends is replaced by random bytes (markers
    // included) or by a well-formed packet of the wrong kind (DATA for an
    // answer, an answer for DATA), or its DATA announces another packet count
    // or a payload longer than it carries. The data a packet carries is never
    // changed behind valid checks: such a lie no receiver could see.
    double hostileAnswers = 0;
    double hostilePackets = 0;

    bool operator==(const TSimFaults &) const = default;
};

// Decides faults by rate. Not thread-safe: the simulator guards it with its lock.
class TSimDice {
public:
    explicit TSimDice(uint64_t seed = 1) : engine_(seed) {}
    void Reseed(uint64_t seed) { engine_.seed(seed); }

    // True with probability rate; draws nothing for a rate of 0 or less.
    bool Hit(double rate);
    // A number in [low, high].
    int32_t Between(int32_t low, int32_t high);

private:
    std::mt19937_64 engine_;
};

} // namespace velksim
