#include "velkhlpacket.h"

#include "HexStrings.h"
#include "velkcommon.h"
#include "velkformat.h"

#include <algorithm>
#include <cstring>

namespace {

// The size of a packet to build, or EHLPacket when the arguments do not make one.
int32_t BuildSize(const void *data, uint32_t length) {
    if (data == nullptr && length > 0)
        throw EHLPacket("Pacchetto dati inconsistente.");
    if (length > HL_MAX_DATA)
        throw EHLPacket("Pacchetto dati troppo grande.");
    return static_cast<int32_t>(length) + kHLHeaderLength;
}

bool IsCommand(uint32_t command) {
    switch (command) {
    case HL_FIRMWARE:
    case HL_WRITE_FLASH:
    case HL_WRITE_EEPROM:
    case HL_READ_FLASH:
    case HL_READ_EEPROM:
    case HL_DATA:
    case HL_SYNC:
    case HL_ACK:
    case HL_NACK:
        return true;
    default:
        return false;
    }
}

} // namespace

velk_HLPacket::velk_HLPacket(uint32_t command, uint32_t address, const void *data, uint32_t length)
    : TBuffer(BuildSize(data, length)) {
    bool addressed = command == HL_WRITE_FLASH || command == HL_WRITE_EEPROM;
    WriteLongWord(SwapLongWord(command));
    WriteLongWord(SwapLongWord(static_cast<uint32_t>(Size())));
    WriteLongWord(SwapLongWord(length));
    WriteLongWord(SwapLongWord(addressed ? address : 0u));
    if (length > 0)
        Write(data, static_cast<int32_t>(length));
}

velk_HLPacket::velk_HLPacket(const TBuffer &received) : TBuffer(received) {}

int64_t velk_HLPacket::Command() const {
    if (Size() < 4)
        return -1;
    uint32_t command = ReadBE32(Memory());
    return IsCommand(command) ? int64_t(command) : -1;
}

uint32_t velk_HLPacket::TotalLength() const {
    return Size() >= kHLDataLengthAt ? ReadBE32(Memory() + kHLTotalLengthAt) : 0;
}

uint32_t velk_HLPacket::DataLength() const {
    return Size() >= kHLAddressAt ? ReadBE32(Memory() + kHLDataLengthAt) : 0;
}

const uint8_t *velk_HLPacket::Data() const {
    return Size() >= kHLHeaderLength ? Memory() + kHLHeaderLength : nullptr;
}

bool velk_HLPacket::IsValid() const {
    return Size() >= kHLHeaderLength && Command() != -1 && TotalLength() == uint32_t(Size()) &&
           DataLength() == uint32_t(Size() - kHLHeaderLength);
}

int32_t velk_HLPacket::CopyData(void *dest, int32_t maximum) const {
    if (dest == nullptr)
        return 0;
    // A malformed packet may declare more data than it holds: copy only what is there.
    int64_t held = std::max(Size() - kHLHeaderLength, 0);
    int64_t count = std::clamp<int64_t>(DataLength(), 0, std::max(maximum, 0));
    count = std::min(count, held);
    if (count > 0)
        std::memcpy(dest, Data(), static_cast<size_t>(count));
    return static_cast<int32_t>(count);
}

std::string velk_HLPacket::Dump(int32_t maximum) const {
    int64_t total = TotalLength();
    int64_t n = std::min<int64_t>({total, maximum, Size()});
    std::string hex = BytesToHex(Memory(), static_cast<int32_t>(std::max<int64_t>(n, 0)));
    return maximum < total ? Format("%s ...", hex) : hex;
}
