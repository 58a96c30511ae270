#include "benchcases.h"

#include "screenset.h"
#include "velkmemorymap.h"

#include <random>
#include <stdexcept>

namespace {

// Whole memories as the record store moves them: slot 1 (slot 0 holds the
// simulator's settings record), and the whole EEPROM.
constexpr uint32_t kSlot1 = RecordSlotAddress(1);
constexpr auto kFlashBytes = int32_t(kRecordSlotSize);
constexpr int32_t kEepromBytes = kEepromSize;

void Check(bool ok, const char *what) {
    if (!ok)
        throw std::runtime_error(what);
}

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 dice(11);
    std::vector<uint8_t> bytes(n);
    for (auto &b : bytes)
        b = static_cast<uint8_t>(dice());
    return bytes;
}

// The upload's target: the record directory over the transfer engine.
class TRecordsTarget : public TUploadTarget {
public:
    explicit TRecordsTarget(TBenchStack &stack) : stack_(stack) {}
    bool Refresh() override {
        stack_.Records().Refresh(stack_.Transport(), false);
        return true;
    }
    bool SaveItem(std::string_view record, std::string_view item, std::span<const uint8_t> data) override {
        TBuffer buffer(0);
        buffer.SetData(data.data(), static_cast<int32_t>(data.size()));
        stack_.Records().SaveItem(stack_.Transport(), std::string(record), std::string(item), buffer);
        return true;
    }
    bool SaveItems(std::string_view record, std::span<const TUploadItem> items) override {
        std::vector<TRecordItemData> data;
        for (const TUploadItem &item : items)
            data.push_back({item.ItemName, item.Data.data(), static_cast<int32_t>(item.Data.size())});
        stack_.Records().SaveItems(stack_.Transport(), std::string(record), data);
        return true;
    }

private:
    TBenchStack &stack_;
};

TUploadPlan SamplePlan(const std::string &samplesDir) {
    static const char *const files[ResourceCount] = {"boot.m2v",  "radio.m2v",   "setup.m2v",
                                                     "setup.lut", "bandeau.pan", "basic.lut"};
    TScreenSelection selection;
    for (size_t i = 0; i < ResourceCount; ++i)
        selection.Rows[i] = {true, std::filesystem::path(samplesDir) / files[i]};
    selection.Size = {true, {0, 0, 720, 576}};
    return MakeUploadPlan(selection);
}

} // namespace

std::vector<TBenchCase> BenchCases(const std::string &samplesDir) {
    auto data = std::make_shared<std::vector<uint8_t>>(RandomBytes(kFlashBytes));
    auto plan = std::make_shared<TUploadPlan>(SamplePlan(samplesDir));
    return {
        {"64 KiB flash write",
         [data](TBenchStack &s) {
             s.Engine().SendFlash(data->data(), kSlot1, kFlashBytes);
             Check(s.Engine().WaitFor(), "flash write failed");
         },
         true, 0, true},
        {"64 KiB flash read",
         [](TBenchStack &s) {
             s.Engine().ReadFlash(kSlot1, kFlashBytes);
             Check(s.Engine().WaitFor() && s.Engine().GetBuffer().Size() == kFlashBytes, "flash read failed");
         },
         true, 0, true},
        {"8 KiB EEPROM read",
         [](TBenchStack &s) {
             s.Engine().ReadEeprom(0, kEepromBytes);
             Check(s.Engine().WaitFor() && s.Engine().GetBuffer().Size() == kEepromBytes, "EEPROM read failed");
         }},
        {"partial refresh (demo decoder)", [](TBenchStack &s) { s.Records().Refresh(s.Transport(), false); }, false, 0,
         true},
        {"full refresh (demo decoder)", [](TBenchStack &s) { s.Records().Refresh(s.Transport(), true); }, false, 0,
         true},
        {"sample screen-set upload",
         [plan](TBenchStack &s) {
             TRecordsTarget target(s);
             Check(RunUpload(*plan, target, TUploadWrite::PerItem).Ok(), "upload failed");
         }},
        // velkctl's upload: every item into one copy of the record, one write.
        {"sample screen-set upload, one write",
         [plan](TBenchStack &s) {
             TRecordsTarget target(s);
             Check(RunUpload(*plan, target, TUploadWrite::OneWrite).Ok(), "upload failed");
         }},
        {"partial refresh, adapter latency 16 ms", [](TBenchStack &s) { s.Records().Refresh(s.Transport(), false); },
         false, 16},
        {"partial refresh, adapter latency 1 ms", [](TBenchStack &s) { s.Records().Refresh(s.Transport(), false); },
         false, 1},
    };
}
