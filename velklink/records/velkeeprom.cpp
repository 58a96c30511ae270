#include "velkeeprom.h"

#include "velkcommon.h"

uint8_t velk_Eeprom::ByteAt(int32_t position) const {
    if (position < 0 || position >= ImageSize)
        return 0;
    return image_[position];
}

uint32_t velk_Eeprom::WordAt(int32_t position) const {
    if (position < 0 || position > ImageSize - 4)
        return 0;
    return ReadBE32(image_.data() + position);
}

bool velk_Eeprom::SlotFlag(int32_t slot) const {
    const int32_t reserved = ReservedSlotIndex();
    if (slot < 0 || slot == reserved)
        return false;
    const int32_t word = slot < reserved ? slot : slot - 1;
    return (WordAt(SlotWordsOffset + 4 * word) & 0x80000000u) != 0;
}

void velk_Eeprom::ReadImage(TRecordTransport &transport) {
    transport.ReadEeprom(0, ImageSize);
    if (!transport.WaitFor())
        throw EEeprom("Errore leggendo l'Eeprom I\xB2"
                      "C del decoder.");
    transport.GetBuffer().GetData(image_.data(), ImageSize);
}
