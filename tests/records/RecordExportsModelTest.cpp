// Seeded random saves, replacements and loads through the record exports,
// checked against a plain model of records and items, with a refresh between
// rounds. After every round the decoder's flash is read back independently: it
// must hold exactly the model, as valid records that no repair would change.
#include "RecordExportsSupport.h"
#include "RecordTestSupport.h"
#include "velkrecords.h"

#include <map>
#include <random>

namespace {

using TModel = std::map<std::string, std::map<std::string, TBytes>>;

const std::vector<std::string> kRecords = {"pictures", "SET", "R3", "eightchr"};
const std::vector<std::string> kItems = {"a", "splash.fnt", "SET", "x.lut", "twelve_chars", "b"};

// The body length the record would need with item set to size bytes.
int64_t BodyAfterSave(const std::map<std::string, TBytes> &items, const std::string &item, int32_t size) {
    int64_t count = 0, data = size;
    for (const auto &[name, bytes] : items)
        if (name != item) {
            ++count;
            data += static_cast<int64_t>(bytes.size());
        }
    return 4 + 20 * (count + 1) + data;
}

class RecordModelTest : public RecordExportsTest {
protected:
    TBytes RandomBytes(int32_t size) {
        TBytes bytes(size);
        for (auto &b : bytes)
            b = static_cast<uint8_t>(dice());
        return bytes;
    }
    int32_t RandomSize() {
        const uint32_t roll = dice() % 20;
        if (roll == 0)
            return 0;
        if (roll < 11)
            return static_cast<int32_t>(dice() % 2000);
        if (roll < 16)
            return 2000 + static_cast<int32_t>(dice() % 10000);
        return 20000 + static_cast<int32_t>(dice() % 25000); // a few of these fill a record
    }

    void SaveOne(const std::string &record, const std::string &item) {
        const int32_t size = RandomSize();
        const TBytes data = RandomBytes(size);
        const bool fits = BodyAfterSave(model[record], item, size) <= velk_Record::MaxBodyLength;
        SCOPED_TRACE(record + "/" + item + " " + std::to_string(size));
        EXPECT_EQ(RECSaveItem(record.c_str(), item.c_str(), data.data(), size), fits ? 1 : 0);
        ++(fits ? saved : refused);
        if (fits) {
            EXPECT_TRUE(Shown().empty());
            model[record][item] = data;
        } else {
            EXPECT_EQ(Shown(), std::vector<std::string>{"Spazio su record insufficiente, impossibile continuare."});
        }
    }

    void LoadOne(const std::string &record, const std::string &item) {
        SCOPED_TRACE(record + "/" + item);
        const TBytes before = Buffer();
        const bool present = model.count(record) != 0 && model[record].count(item) != 0;
        EXPECT_EQ(RECItemExists(record.c_str(), item.c_str()), present ? 1 : 0);
        EXPECT_EQ(RECLoadItem(record.c_str(), item.c_str()), present ? 1 : 0);
        ++(present ? loaded : missing);
        if (present) {
            EXPECT_EQ(Buffer(), model[record][item]);
            return;
        }
        const std::string expected = model.count(record) != 0 && !model[record].empty()
                                         ? "File non trovato: " + item + "."
                                         : "Record non trovato: " + record + ".";
        EXPECT_EQ(Shown(), std::vector<std::string>{expected});
        EXPECT_EQ(Buffer(), before);
    }

    // Reads the decoder's memory back through a directory of its own.
    void CheckFlash() {
        TFakeDecoder copy;
        copy.Flash = sim.ReadFlash(velksim::FlashBase, velksim::FlashSize);
        copy.Eeprom = sim.ReadEeprom(0, velksim::EepromSize);
        velk_Records fresh(velksim::FlashBase, 30);
        fresh.Refresh(copy, true);

        int32_t inUse = 0;
        for (int32_t slot = 0; slot < fresh.SlotCount(); ++slot) {
            const velk_Record &record = fresh.RecordAt(slot);
            if (!record.InUse())
                continue;
            ++inUse;
            EXPECT_TRUE(record.IsValid()) << slot;
            EXPECT_TRUE(std::equal(record.Image(), record.Image() + record.TotalSize(), copy.Slot(slot)))
                << "slot " << slot << " is not exactly as written";
        }
        int32_t records = 0;
        for (const auto &[name, items] : model) {
            if (items.empty())
                continue;
            ++records;
            ASSERT_EQ(fresh.CountRecords(name), 1) << name;
            const velk_Record &record = fresh.RecordAt(fresh.FindRecord(name));
            EXPECT_EQ(record.ItemCount(), static_cast<int32_t>(items.size())) << name;
            for (const auto &[item, data] : items)
                EXPECT_EQ(LoadItem(fresh, copy, name, item), data) << name << "/" << item;
        }
        EXPECT_EQ(inUse, records);
    }

    std::mt19937 dice{20261207};
    TModel model;
    int32_t saved = 0, refused = 0, loaded = 0, missing = 0;
};

TEST_F(RecordModelTest, RandomSavesAndLoadsAgreeWithTheModel) {
    ASSERT_EQ(RECRefresh(0), 1);
    for (int round = 0; round < 8; ++round) {
        for (int step = 0; step < 40; ++step) {
            const std::string &record = kRecords[dice() % kRecords.size()];
            const std::string &item = kItems[dice() % kItems.size()];
            if (dice() % 2 == 0)
                SaveOne(record, item);
            else
                LoadOne(record, item);
        }
        ASSERT_EQ(RECRefresh(static_cast<int32_t>(dice() % 2)), 1);
        for (const std::string &record : kRecords)
            for (const std::string &item : kItems)
                EXPECT_EQ(RECItemExists(record.c_str(), item.c_str()),
                          model.count(record) != 0 && model[record].count(item) != 0 ? 1 : 0);
        CheckFlash();
        if (HasFailure())
            return;
    }
    // The seed gives every path its share.
    EXPECT_GT(saved, 100);
    EXPECT_GT(refused, 3);
    EXPECT_GT(loaded, 50);
    EXPECT_GT(missing, 5);
}

} // namespace
