#include "velkslotinfo.h"

#include "velkcodepage.h"
#include "velksessionnames.h"

#include <algorithm>

velk_slot_info DescribeRecord(velk_Record &record) {
    velk_slot_info info{};
    info.status = VELK_SLOT_FREE;
    if (!record.InUse())
        return info;
    const bool valid = record.IsValid();
    info.status = valid ? VELK_SLOT_RECORD : VELK_SLOT_DAMAGED;
    info.items = valid ? static_cast<uint32_t>(record.ItemCount()) : 0;
    info.free = static_cast<uint32_t>(std::max(record.FreeSpace(), 0));
    CopyName(info.name, Cp1252ToUtf8(record.Name()));
    return info;
}
