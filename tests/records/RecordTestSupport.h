// Helpers shared by the record store's tests: catching a library message and
// building record images to place in a decoder's flash.
#pragma once

#include "FakeDecoder.h"
#include "velkrecord.h"
#include "velkrecords.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using TBytes = std::vector<uint8_t>;
using TItemList = std::vector<std::pair<std::string, TBytes>>;

// The message of the library exception f raises, or "<no exception>".
inline std::string MessageOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const EVelk &e) {
        return e.Message();
    }
    return "<no exception>";
}

// count bytes counting up from first.
inline TBytes Pattern(int32_t count, uint8_t first = 1) {
    TBytes bytes(count);
    for (int32_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

// An in-use record of that name holding the items in order.
inline std::unique_ptr<velk_Record> MakeRecord(const std::string &name, const TItemList &items = {}) {
    auto record = std::make_unique<velk_Record>(0);
    record->SetInUse(true);
    record->SetName(name);
    for (const auto &[itemName, data] : items)
        record->AddItem(itemName, data.data(), static_cast<int32_t>(data.size()));
    return record;
}

inline void PutRecord(TFakeDecoder &decoder, int32_t slot, const velk_Record &record) {
    std::memcpy(decoder.Slot(slot), record.Image(), velk_Record::ImageSize);
}

inline TBytes ImageBytes(const velk_Record &record) {
    return TBytes(record.Image(), record.Image() + velk_Record::ImageSize);
}

// A directory's LoadItem and SaveItem with plain byte vectors.
inline TBytes LoadItem(velk_Records &records, TRecordTransport &transport, const std::string &record,
                       const std::string &item) {
    TBuffer buffer;
    records.LoadItem(transport, record, item, buffer);
    return TBytes(buffer.Memory(), buffer.Memory() + buffer.Size());
}
inline void SaveItem(velk_Records &records, TRecordTransport &transport, const std::string &record,
                     const std::string &item, const TBytes &data) {
    TBuffer buffer;
    buffer.SetData(data.data(), static_cast<int32_t>(data.size()));
    records.SaveItem(transport, record, item, buffer);
}
