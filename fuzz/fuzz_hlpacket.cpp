// Fuzzes the transfer packet parser: any received transmission, or one whose
// length fields the input asks to be made consistent, so that the fuzzer also
// reaches the paths of valid packets.
#include "FuzzCheck.h"
#include "velkcommon.h"
#include "velkhlpacket.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    int32_t maximum = input.ConsumeIntegral<int32_t>();
    bool consistent = input.ConsumeBool();
    std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();
    if (consistent && bytes.size() >= 16) {
        WriteBE32(&bytes[4], uint32_t(bytes.size()));
        WriteBE32(&bytes[8], uint32_t(bytes.size() - 16));
    }
    TBuffer received;
    received.SetData(bytes.data(), int32_t(bytes.size()));
    velk_HLPacket p(received);

    VELK_FUZZ_CHECK(p.Size() == received.Size());
    int64_t command = p.Command();
    (void)p.Dump(maximum);
    (void)p.Dump(40);
    std::vector<uint8_t> out(bytes.size());
    int32_t copied = p.CopyData(out.data(), maximum);
    VELK_FUZZ_CHECK(copied >= 0 && copied <= std::max(maximum, 0));
    VELK_FUZZ_CHECK(copied <= std::max(p.Size() - 16, 0));

    if (p.IsValid()) {
        VELK_FUZZ_CHECK(command != -1);
        VELK_FUZZ_CHECK(p.CopyData(out.data(), p.Size()) == int32_t(p.DataLength()));
        // A packet the PC could have built comes out of the builder unchanged.
        uint32_t address = ReadBE32(p.Memory() + 12);
        bool addressed = command == HL_WRITE_FLASH || command == HL_WRITE_EEPROM;
        if ((addressed || address == 0) && p.DataLength() <= HL_MAX_DATA) {
            velk_HLPacket again(uint32_t(command), address, p.Data(), p.DataLength());
            VELK_FUZZ_CHECK(again.Size() == p.Size());
            VELK_FUZZ_CHECK(std::memcmp(again.Memory(), p.Memory(), p.Size()) == 0);
        }
    }
    return 0;
}
