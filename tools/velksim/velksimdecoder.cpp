#include "velksimdecoder.h"

#include "velkcommon.h"
#include "velkformat.h"
#include "velkhlpacket.h"

namespace velksim {

namespace {

constexpr uint32_t ReadRequestLength = 8;

std::vector<uint8_t> Bytes(const velk_HLPacket &packet) {
    return {packet.Memory(), packet.Memory() + packet.Size()};
}

std::vector<uint8_t> Answer(uint32_t command, const std::vector<uint8_t> &data = {}) {
    return Bytes(velk_HLPacket(command, 0, data.empty() ? nullptr : data.data(), uint32_t(data.size())));
}

} // namespace

const char *CommandName(uint32_t command) {
    switch (command) {
    case HL_FIRMWARE:
        return "FIRMWARE";
    case HL_WRITE_FLASH:
        return "WRITE FLASH";
    case HL_WRITE_EEPROM:
        return "WRITE EEPROM";
    case HL_READ_FLASH:
        return "READ FLASH";
    case HL_READ_EEPROM:
        return "READ EEPROM";
    case HL_DATA:
        return "DATA";
    case HL_SYNC:
        return "SYNC";
    case HL_ACK:
        return "ACK";
    case HL_NACK:
        return "NACK";
    default:
        return "unknown";
    }
}

TSimRequest TSimDecoder::KindOf(const velk_HLPacket &packet) {
    if (!packet.IsValid())
        return rqOther;
    switch (packet.Command()) {
    case HL_SYNC:
        return rqSync;
    case HL_READ_FLASH:
        return rqReadFlash;
    case HL_READ_EEPROM:
        return rqReadEeprom;
    case HL_WRITE_FLASH:
        return rqWriteFlash;
    case HL_WRITE_EEPROM:
        return rqWriteEeprom;
    case HL_FIRMWARE:
        return rqFirmware;
    default:
        return rqOther;
    }
}

void TSimDecoder::Count(TSimRequest kind) {
    TSimCounters &counters = shared_.counters;
    switch (kind) {
    case rqSync:
        ++counters.syncs;
        break;
    case rqReadFlash:
        ++counters.readFlashRequests;
        break;
    case rqReadEeprom:
        ++counters.readEepromRequests;
        break;
    case rqWriteFlash:
        ++counters.writeFlashRequests;
        break;
    case rqWriteEeprom:
        ++counters.writeEepromRequests;
        break;
    case rqFirmware:
        ++counters.firmwareRequests;
        break;
    default:
        ++counters.otherRequests;
        break;
    }
}

std::optional<std::vector<uint8_t>> TSimDecoder::Serve(const TSimReception::TComplete &request) {
    TBuffer buffer;
    buffer.SetData(request.bytes.data(), int32_t(request.bytes.size()));
    velk_HLPacket packet(buffer);
    TSimRequest kind = request.tooLong ? rqOther : KindOf(packet);
    int64_t known = request.tooLong ? -1 : packet.Command();
    uint32_t command = known < 0 ? 0 : uint32_t(known);

    std::string what;
    if (request.tooLong)
        what = "transmission longer than any transfer packet";
    else if (kind == rqOther)
        what = Format("%s packet [%s]", packet.IsValid() ? CommandName(command) : "invalid", packet.Dump(40));
    else if (kind == rqReadFlash || kind == rqReadEeprom)
        what = packet.DataLength() == ReadRequestLength
                   ? Format("%s 0x%8.8x, %u bytes", CommandName(command), ReadBE32(packet.Data()),
                            ReadBE32(packet.Data() + 4))
                   : Format("%s with %u data bytes", CommandName(command), packet.DataLength());
    else if (kind == rqWriteFlash || kind == rqWriteEeprom)
        what = Format("%s 0x%8.8x, %u bytes", CommandName(command), ReadBE32(packet.Memory() + kHLAddressAt),
                      packet.DataLength());
    else if (kind == rqFirmware)
        what = Format("FIRMWARE, %u bytes", packet.DataLength());
    else
        what = CommandName(command);
    shared_.Note(TSimTraceKind::TransferIn, command, kind != rqOther, what);

    bool swallow;
    bool refuse = false;
    {
        std::lock_guard lock(shared_.mutex);
        Count(kind);
        const TSimFaults &faults = shared_.faults;
        swallow = (faults.swallowKinds & kind) != 0 && shared_.dice.Hit(faults.swallowRate);
        if (swallow)
            ++shared_.counters.swallowedRequests;
        else if (kind & rqReads)
            refuse = shared_.dice.Hit(faults.refuseReads);
        else if (kind & rqWrites)
            refuse = shared_.dice.Hit(faults.refuseWrites);
    }
    if (swallow) {
        shared_.Note("request acknowledged but never answered (fault)");
        return std::nullopt;
    }

    uint32_t answer = HL_NACK;
    std::vector<uint8_t> data;
    if (refuse) {
        shared_.Note("request refused (fault)");
    } else if (kind == rqSync) {
        std::lock_guard lock(shared_.mutex);
        answer = shared_.synchronised ? HL_SYNC : HL_ACK;
        shared_.synchronised = true;
    } else if (kind == rqReadFlash || kind == rqReadEeprom) {
        answer = Read(packet, kind, data);
    } else if (kind == rqWriteFlash || kind == rqWriteEeprom) {
        answer = Write(packet, kind);
    } else if (kind == rqFirmware) {
        answer = Firmware(packet);
    }
    if (answer == HL_NACK) {
        std::lock_guard lock(shared_.mutex);
        ++shared_.counters.refusedRequests;
    }
    shared_.Note(TSimTraceKind::TransferOut, answer, true,
                 answer == HL_DATA ? Format("DATA, %u bytes", uint32_t(data.size())) : CommandName(answer));
    return Answer(answer, data);
}

uint32_t TSimDecoder::Read(const velk_HLPacket &request, TSimRequest kind, std::vector<uint8_t> &data) {
    if (request.DataLength() != ReadRequestLength)
        return HL_NACK;
    uint32_t address = ReadBE32(request.Data());
    uint32_t length = ReadBE32(request.Data() + 4);
    std::lock_guard lock(shared_.mutex);
    TSimMemory &memory = shared_.memory;
    TSimCounters &counters = shared_.counters;
    if (kind == rqReadFlash) {
        if (!memory.FlashHolds(address, length))
            return HL_NACK;
        data = memory.ReadFlash(address, length);
        counters.flashBytesRead += length;
        counters.flashReads.push_back({address, length});
    } else {
        if (!memory.EepromHolds(address, length))
            return HL_NACK;
        data = memory.ReadEeprom(address, length);
        counters.eepromBytesRead += length;
        counters.eepromReads.push_back({address, length});
    }
    // The trace's answer line shows the shortened length.
    if (!data.empty() && shared_.dice.Hit(shared_.faults.shortReads))
        data.pop_back();
    return HL_DATA;
}

uint32_t TSimDecoder::Write(const velk_HLPacket &request, TSimRequest kind) {
    uint32_t address = ReadBE32(request.Memory() + kHLAddressAt);
    uint32_t length = request.DataLength();
    bool flash = kind == rqWriteFlash;
    std::lock_guard lock(shared_.mutex);
    TSimMemory &memory = shared_.memory;
    bool accepted = flash ? address >= FlashBase && (address - FlashBase) % SlotSize == 0 && length >= 1 &&
                                length <= SlotSize && memory.FlashHolds(address, length)
                          : length >= 1 && memory.EepromHolds(address, length);
    if (!accepted)
        return HL_NACK;
    auto read = [&] { return flash ? memory.ReadFlash(address, length) : memory.ReadEeprom(address, length); };
    auto write = [&](std::span<const uint8_t> bytes) {
        flash ? memory.WriteFlash(address, bytes) : memory.WriteEeprom(address, bytes);
    };
    std::vector<uint8_t> before = read();
    write({request.Data(), length});
    if (!Persist(flash ? &TSimStateFolder::SaveFlash : &TSimStateFolder::SaveEeprom)) {
        write(before);
        return HL_NACK;
    }
    TSimCounters &counters = shared_.counters;
    (flash ? counters.flashBytesWritten : counters.eepromBytesWritten) += length;
    (flash ? counters.flashWrites : counters.eepromWrites).push_back({address, length});
    return HL_ACK;
}

bool TSimDecoder::Persist(void (TSimStateFolder::*save)(const TSimMemory &)) {
    if (!shared_.folder)
        return true;
    try {
        ((*shared_.folder).*save)(shared_.memory);
        return true;
    } catch (const ESimState &error) {
        shared_.Note(Format("write refused: %s", error.Message()));
        return false;
    }
}

uint32_t TSimDecoder::Firmware(const velk_HLPacket &request) {
    uint32_t length = request.DataLength();
    if (length < 1)
        return HL_NACK;
    std::lock_guard lock(shared_.mutex);
    TSimMemory &memory = shared_.memory;
    std::vector<uint8_t> before = memory.Firmware();
    memory.SetFirmware({request.Data(), request.Data() + length});
    if (!Persist(&TSimStateFolder::SaveFirmware)) {
        memory.SetFirmware(std::move(before));
        return HL_NACK;
    }
    shared_.counters.firmwareUploads.push_back(length);
    return HL_ACK;
}

} // namespace velksim
