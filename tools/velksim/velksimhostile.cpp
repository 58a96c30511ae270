#include "velksimhostile.h"

#include "velkcommon.h"
#include "velkformat.h"
#include "velkhlpacket.h"
#include "velkllpacket.h"

#include <algorithm>

namespace velksim {

namespace {

std::vector<uint8_t> RandomBytes(TSimDice &dice, int32_t low, int32_t high) {
    std::vector<uint8_t> bytes(size_t(dice.Between(low, high)));
    for (uint8_t &byte : bytes)
        byte = uint8_t(dice.Between(0, 255));
    return bytes;
}

std::vector<uint8_t> TransferPacket(uint32_t command, const std::vector<uint8_t> &data) {
    velk_HLPacket packet(command, 0, data.empty() ? nullptr : data.data(), uint32_t(data.size()));
    return {packet.Memory(), packet.Memory() + packet.Size()};
}

// A command that answers nothing the PC asked for, given the sound answer:
// never DATA where the answer is a refusal (a read's NACK) or an ACK or NACK
// where the answer is DATA, which would be lies no receiver could see.
uint32_t WrongKind(uint32_t sound, TSimDice &dice) {
    static const uint32_t forData[] = {HL_ACK, HL_SYNC, HL_READ_FLASH, HL_FIRMWARE};
    static const uint32_t forAckOrSync[] = {HL_DATA, HL_READ_FLASH, HL_WRITE_EEPROM};
    static const uint32_t forOthers[] = {HL_READ_EEPROM, HL_FIRMWARE, HL_WRITE_FLASH};
    if (sound == HL_DATA)
        return forData[dice.Between(0, 3)];
    if (sound == HL_ACK || sound == HL_SYNC)
        return forAckOrSync[dice.Between(0, 2)];
    return forOthers[dice.Between(0, 2)];
}

// A link packet's header check made to fit bytes 0 to 9 again.
void Reseal(std::vector<uint8_t> &bytes) {
    uint8_t x = 0;
    for (int32_t i = 0; i < kLLHeaderCheckAt; ++i)
        x ^= bytes[size_t(i)];
    bytes[kLLHeaderCheckAt] = x;
    bytes[kLLHeaderCheckAt + 1] = uint8_t(~x);
}

std::vector<uint8_t> LinkBytes(const velk_LLPacket &packet) {
    return {packet.Memory(), packet.Memory() + packet.Size()};
}

} // namespace

std::vector<uint8_t> HostileAnswer(const std::vector<uint8_t> &answer, TSimDice &dice, std::string &what) {
    const uint32_t sound = ReadBE32(answer.data());
    std::vector<uint8_t> bytes = answer;
    const int32_t last = sound == HL_DATA ? 6 : 5;
    switch (dice.Between(0, last)) {
    case 0:
        bytes = RandomBytes(dice, 0, dice.Hit(0.2) ? 3000 : 64);
        what = Format("%d random bytes", int32_t(bytes.size()));
        break;
    case 1:
        WriteBE32(bytes.data() + kHLTotalLengthAt, uint32_t(bytes.size()) + uint32_t(dice.Between(1, 100)));
        what = "total length broken";
        break;
    case 2:
        WriteBE32(bytes.data() + kHLDataLengthAt,
                  ReadBE32(bytes.data() + kHLDataLengthAt) ^ uint32_t(dice.Between(1, 0x7FFFFFFF)));
        what = "data length broken";
        break;
    case 3:
        WriteBE32(bytes.data(), dice.Hit(0.5) ? 0x5A390000u | uint32_t(dice.Between(0x70, 0xFF))
                                              : uint32_t(dice.Between(0, 0x5A38FFFF)));
        what = "command not a transfer command";
        break;
    case 4:
        bytes.resize(size_t(dice.Between(0, int32_t(bytes.size()) - 1)));
        what = Format("cut to %d bytes", int32_t(bytes.size()));
        break;
    case 5: {
        const uint32_t command = WrongKind(sound, dice);
        bytes = TransferPacket(command, command == HL_DATA ? RandomBytes(dice, 0, 64) : std::vector<uint8_t>{});
        what = "a packet that does not answer the request";
        break;
    }
    default: { // DATA with fewer or more bytes than the request asked for
        std::vector<uint8_t> data(answer.begin() + kHLHeaderLength, answer.end());
        if (!data.empty() && dice.Hit(0.5)) {
            data.resize(size_t(dice.Between(0, int32_t(data.size()) - 1)));
        } else {
            const std::vector<uint8_t> extra = RandomBytes(dice, 1, 64);
            data.insert(data.end(), extra.begin(), extra.end());
        }
        bytes = TransferPacket(HL_DATA, data);
        what = Format("DATA of %d bytes instead of %d", int32_t(data.size()), int32_t(answer.size()) - kHLHeaderLength);
        break;
    }
    }
    return bytes;
}

std::vector<uint8_t> HostilePacket(const velk_LLPacket &packet, TSimDice &dice, std::string &what) {
    const bool isData = packet.PacketType() == LL_DATA;
    switch (dice.Between(0, isData ? 3 : 1)) {
    case 0: {
        std::vector<uint8_t> bytes = RandomBytes(dice, 1, 40);
        what = Format("%d random bytes", int32_t(bytes.size()));
        return bytes;
    }
    case 1:
        if (isData) {
            what = "an answer instead of DATA";
            return LinkBytes(velk_LLPacket(dice.Hit(0.5) ? LL_ACK : LL_NACK, 0, 0, 0, nullptr));
        } else {
            const std::vector<uint8_t> payload = RandomBytes(dice, 0, 64);
            const uint16_t lastIndex = uint16_t(dice.Between(0, 3));
            what = "DATA instead of an answer";
            return LinkBytes(velk_LLPacket(LL_DATA, lastIndex, 0, uint16_t(payload.size()),
                                           payload.empty() ? nullptr : payload.data()));
        }
    case 2: { // another packet count, checks sealed again
        std::vector<uint8_t> bytes = LinkBytes(packet);
        const uint16_t index = ReadBE16(bytes.data() + kLLPacketIndexAt);
        const uint16_t real = ReadBE16(bytes.data() + kLLLastIndexAt);
        uint16_t count = dice.Hit(0.1) ? 0xFFFF : uint16_t(std::clamp(int32_t(real) + dice.Between(-3, 3), 0, 0xFFFF));
        count = std::max(count, index);
        if (count == real)
            count = real == 0xFFFF ? real - 1 : real + 1;
        WriteBE16(bytes.data() + kLLLastIndexAt, std::max(count, index));
        Reseal(bytes);
        what = Format("DATA announcing %d packets instead of %d", int32_t(count) + 1, int32_t(real) + 1);
        return bytes;
    }
    default: { // a payload length above what the packet carries, checks sealed again
        std::vector<uint8_t> bytes = LinkBytes(packet);
        const uint16_t carried = ReadBE16(bytes.data() + kLLPayloadLengthAt);
        WriteBE16(bytes.data() + kLLPayloadLengthAt, uint16_t(carried + dice.Between(1, 0xFFFF - carried)));
        Reseal(bytes);
        what = "DATA claiming a longer payload than it carries";
        return bytes;
    }
    }
}

} // namespace velksim
