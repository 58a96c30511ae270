// The session interface's record exports: items of named records, and the
// record directory as data.
#include "velklink.h"

#include "velkrecord.h"
#include "velksessionexports.h"
#include "velksessionnames.h"

#include <string>
#include <vector>

namespace {
std::string RecordName(const char *utf8) {
    return SessionName(utf8, "record", velk_Record::NameWidth);
}
std::string ItemName(const char *utf8) {
    return SessionName(utf8, "item", velk_Record::ItemNameWidth);
}
} // namespace

extern "C" {

VELK_EXPORT velk_result VELK_CALL velk_get_item(velk_session *s, const char *record, const char *item, void *buffer,
                                                uint32_t capacity, uint32_t *length) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        const std::string recordName = RecordName(record);
        const std::string itemName = ItemName(item);
        if (length == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no place for the item's length");
        *length = decoder.GetItem(recordName, itemName, buffer, capacity);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_put_items(velk_session *s, const char *record, size_t count,
                                                 const char *const *items, const void *const *data,
                                                 const uint32_t *lengths) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        const std::string recordName = RecordName(record);
        if (count != 0 && (items == nullptr || data == nullptr || lengths == nullptr))
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no items given");
        std::vector<TRecordItemData> list;
        list.reserve(count);
        // What even an empty record cannot hold is refused before anything is
        // read: the item count, an entry per item and the bytes.
        int64_t body = 4 + int64_t(velk_Record::EntrySize) * int64_t(count);
        for (size_t i = 0; i < count; ++i)
            body += lengths[i];
        if (body > velk_Record::MaxBodyLength)
            throw TSessionFailure(VELK_ERR_ARGUMENT, Decimal(int64_t(count)) + " items and their entries take " +
                                                         Decimal(body) + " bytes: a record holds at most " +
                                                         Decimal(velk_Record::MaxBodyLength));
        for (size_t i = 0; i < count; ++i) {
            if (data[i] == nullptr && lengths[i] != 0)
                throw TSessionFailure(VELK_ERR_ARGUMENT, "item " + Decimal(int64_t(i)) + ": no bytes given");
            list.push_back({ItemName(items[i]), static_cast<const uint8_t *>(data[i]), int32_t(lengths[i])});
        }
        decoder.PutItems(recordName, list);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_delete_item(velk_session *s, const char *record, const char *item) {
    return SessionCall(s, [&](TSessionDecoder &decoder) { decoder.DeleteItem(RecordName(record), ItemName(item)); });
}

VELK_EXPORT velk_result VELK_CALL velk_free_slot(velk_session *s, uint32_t slot) {
    return SessionCall(s, [&](TSessionDecoder &decoder) { decoder.FreeSlot(slot); });
}

VELK_EXPORT velk_result VELK_CALL velk_refresh(velk_session *s, int full) {
    return SessionCall(s, [&](TSessionDecoder &decoder) { decoder.Refresh(full != 0); });
}

VELK_EXPORT velk_result VELK_CALL velk_get_directory(velk_session *s, velk_directory *directory) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        if (directory == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no place for the directory");
        *directory = decoder.Directory();
    });
}

VELK_EXPORT velk_result VELK_CALL velk_get_slot(velk_session *s, uint32_t slot, velk_slot_info *info) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        if (info == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no place for the slot");
        *info = decoder.Slot(slot);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_get_slot_item(velk_session *s, uint32_t slot, uint32_t index,
                                                     velk_item_info *info) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        if (info == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "no place for the item");
        *info = decoder.Item(slot, index);
    });
}

} // extern "C"
