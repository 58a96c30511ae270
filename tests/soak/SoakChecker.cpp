#include "SoakChecker.h"

#include "velksim.h"

#include <algorithm>
#include <map>

namespace {

using velksim::FlashBase;
using velksim::SlotCount;

// Everything the checks of one operation need, and the violations they find.
// "name{item:size,...}" for a report.
std::string Contents(const TSoakRecord &record) {
    if (!record.inUse)
        return "(free)";
    std::string text = record.name + (record.valid ? "" : " (invalid)") + (record.tight ? "" : " (loose)") + "{";
    for (const TSoakItem &item : record.items)
        text += item.name + ":" + std::to_string(item.data.size()) + " ";
    return text + "}";
}

class TChecker {
public:
    TChecker(const TOp &op, const TOutcome &outcome, const std::vector<TSoakBytes> &before,
             const std::vector<TSoakBytes> &after, const TSoakBytes &eepromBefore, const TSoakBytes &eepromAfter)
        : op_(op), outcome_(outcome), before_(before), after_(after), eepromBefore_(eepromBefore),
          eepromAfter_(eepromAfter) {}

    std::vector<std::string> Check() {
        CheckSlotsSound();
        switch (op_.kind) {
        case TOpKind::Save:
            CheckSave();
            break;
        case TOpKind::Load:
            CheckUnchanged(-1);
            CheckLoad();
            break;
        case TOpKind::FlashWrite:
            CheckUnchanged(kRawSlot);
            CheckRawWrite(before_[kRawSlot], after_[kRawSlot], 0);
            break;
        case TOpKind::FlashRead:
            CheckUnchanged(-1);
            CheckRead(FlashRange(op_.address - FlashBase, op_.length));
            break;
        case TOpKind::EepromRead:
            CheckUnchanged(-1);
            CheckRead(
                TSoakBytes(eepromBefore_.begin() + op_.address, eepromBefore_.begin() + op_.address + op_.length));
            break;
        default:
            CheckUnchanged(-1);
            break;
        }
        if (op_.kind == TOpKind::EepromWrite)
            CheckRawWrite(eepromBefore_, eepromAfter_, op_.address);
        else if (eepromAfter_ != eepromBefore_)
            Violation("the EEPROM changed");
        return violations_;
    }

    bool ShortRead() const { return shortRead_; }

private:
    void Violation(const std::string &text) { violations_.push_back(text); }

    TSoakBytes FlashRange(uint32_t offset, uint32_t length) const {
        TSoakBytes bytes;
        for (uint32_t at = offset; at < offset + length; ++at)
            bytes.push_back(before_[at / kSoakSlotSize][at % kSoakSlotSize]);
        return bytes;
    }

    // Every record slot in use is valid, and no two admitted records share a name.
    void CheckSlotsSound() {
        std::map<std::string, int> names;
        for (int32_t slot = 0; slot < kRecordSlots; ++slot) {
            const TSoakRecord record = ParseSlot(after_[size_t(slot)]);
            if (record.inUse && !record.valid)
                Violation("slot " + std::to_string(slot) + " holds an invalid record");
            if (record.inUse && record.valid && ++names[record.name] == 2)
                Violation("two records named " + record.name);
        }
    }

    void CheckUnchanged(int32_t except) {
        for (int32_t slot = 0; slot < SlotCount; ++slot)
            if (slot != except && after_[size_t(slot)] != before_[size_t(slot)])
                Violation("slot " + std::to_string(slot) + " changed");
    }

    int32_t FindRecord(const std::vector<TSoakBytes> &slots, const std::string &name) const {
        for (int32_t slot = 0; slot < kRecordSlots; ++slot) {
            const TSoakRecord record = ParseSlot(slots[size_t(slot)]);
            if (record.inUse && record.valid && record.name == name)
                return slot;
        }
        return -1;
    }

    // The slot holds what the save meant to write, written as the library
    // writes: the body tight, the reserved header bytes kept (zero in a new record).
    bool HoldsIntended(int32_t slot, const TSoakRecord &intended, bool existed) const {
        const TSoakBytes &now = after_[size_t(slot)];
        const TSoakRecord record = ParseSlot(now);
        const bool reservedKept =
            existed ? std::equal(now.begin() + 2, now.begin() + 64, before_[size_t(slot)].begin() + 2)
                    : std::all_of(now.begin() + 2, now.begin() + 64, [](uint8_t b) { return b == 0; });
        return record.valid && record.tight && record.SameContent(intended) && reservedKept;
    }

    void CheckSave() {
        int32_t target = FindRecord(before_, op_.record);
        const bool existed = target >= 0;
        std::vector<int32_t> changed;
        for (int32_t slot = 0; slot < SlotCount; ++slot)
            if (after_[size_t(slot)] != before_[size_t(slot)])
                changed.push_back(slot);
        if (!existed && changed.size() == 1)
            target = changed[0];
        for (int32_t slot : changed)
            if (slot != target)
                Violation("slot " + std::to_string(slot) + " changed, not the record's");
        if (target < 0) {
            if (outcome_.ok)
                Violation("the save succeeded but no slot changed");
            return;
        }
        const TSoakRecord old = ParseSlot(before_[size_t(target)]);
        if (!existed && old.inUse)
            Violation("the new record took slot " + std::to_string(target) + ", which was in use");
        const TSoakRecord intended = WithItemSaved(existed ? old : TSoakRecord{}, op_.record, op_.item, op_.data);
        const bool unchanged = after_[size_t(target)] == before_[size_t(target)];
        // A save of what the record already holds leaves its slot unchanged, and as meant.
        const bool asIntended = HoldsIntended(target, intended, existed);
        const std::string contents = "; before " + Contents(old) + ", meant " + Contents(intended) + ", now " +
                                     Contents(ParseSlot(after_[size_t(target)]));
        if (outcome_.ok && !asIntended)
            Violation("the save succeeded but slot " + std::to_string(target) + " does not hold what it meant" +
                      contents);
        if (!outcome_.ok && !unchanged && !asIntended)
            Violation("the save failed and left slot " + std::to_string(target) + " neither as before nor as meant" +
                      contents);
    }

    void CheckLoad() {
        if (!outcome_.ok)
            return;
        const int32_t slot = FindRecord(before_, op_.record);
        if (slot < 0) {
            Violation("the load succeeded, but the decoder has no such record");
            return;
        }
        const TSoakRecord record = ParseSlot(before_[size_t(slot)]);
        const int index = record.FindItem(op_.item);
        if (index < 0)
            Violation("the load succeeded, but the record has no single item of that name");
        else if (outcome_.data != record.items[size_t(index)].data)
            Violation("the load brought other bytes than the item's");
    }

    // A write from offset at: success means the bytes are there and nothing else
    // changed; failure allows only before or as meant.
    void CheckRawWrite(const TSoakBytes &before, const TSoakBytes &after, uint32_t at) {
        TSoakBytes intended = before;
        std::copy(op_.data.begin(), op_.data.end(), intended.begin() + at);
        if (outcome_.ok && after != intended)
            Violation("the write succeeded but memory does not hold the bytes");
        if (!outcome_.ok && after != before && after != intended)
            Violation("the write failed and left memory neither as before nor as meant");
    }

    void CheckRead(const TSoakBytes &expected) {
        if (!outcome_.ok)
            return;
        if (outcome_.data.size() != expected.size()) {
            shortRead_ = true; // the caller sees the size and rejects it
            return;
        }
        if (outcome_.data != expected)
            Violation("the read succeeded with other bytes than memory holds");
    }

    const TOp &op_;
    const TOutcome &outcome_;
    const std::vector<TSoakBytes> &before_;
    const std::vector<TSoakBytes> &after_;
    const TSoakBytes &eepromBefore_;
    const TSoakBytes &eepromAfter_;
    std::vector<std::string> violations_;
    bool shortRead_ = false;
};

} // namespace

std::vector<std::string> CheckOperation(const TOp &op, const TOutcome &outcome, const std::vector<TSoakBytes> &before,
                                        const std::vector<TSoakBytes> &after, const TSoakBytes &eepromBefore,
                                        const TSoakBytes &eepromAfter, bool *shortRead) {
    TChecker checker(op, outcome, before, after, eepromBefore, eepromAfter);
    std::vector<std::string> violations = checker.Check();
    if (shortRead != nullptr)
        *shortRead = checker.ShortRead();
    return violations;
}
