// The soak's operations and the checks that follow each one: what a success
// or a failure of a save, load, refresh or raw transfer may leave in the
// decoder's memory, judged from the slot images before and after it.
#pragma once

#include "SoakSlots.h"
#include "velkmemorymap.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

// Slot 29 is the demo decoder's reserved slot: never admitted, so records never
// live there; raw flash writes go there.
constexpr int32_t kRawSlot = 29;
constexpr int32_t kRecordSlots = 29;

enum class TOpKind { Save, Load, Refresh, FullRefresh, FlashWrite, FlashRead, EepromWrite, EepromRead };

struct TOp {
    TOpKind kind = TOpKind::Save;
    std::string record;
    std::string item;
    TSoakBytes data;
    uint32_t address = 0;
    uint32_t length = 0;

    std::string Describe() const {
        std::ostringstream text;
        switch (kind) {
        case TOpKind::Save:
            text << "save " << record << "/" << item << " (" << data.size() << " bytes)";
            break;
        case TOpKind::Load:
            text << "load " << record << "/" << item;
            break;
        case TOpKind::Refresh:
            text << "partial refresh";
            break;
        case TOpKind::FullRefresh:
            text << "full refresh";
            break;
        case TOpKind::FlashWrite:
            text << "flash write of " << data.size() << " bytes at slot " << kRawSlot;
            break;
        case TOpKind::FlashRead:
            text << "flash read of " << length << " bytes at 0x" << std::hex << address;
            break;
        case TOpKind::EepromWrite:
            text << "EEPROM write of " << data.size() << " bytes at 0x" << std::hex << address;
            break;
        case TOpKind::EepromRead:
            text << "EEPROM read of " << length << " bytes at 0x" << std::hex << address;
            break;
        }
        return text.str();
    }
    std::string KindName() const {
        static const char *const names[] = {"save",        "load",       "partial refresh", "full refresh",
                                            "flash write", "flash read", "EEPROM write",    "EEPROM read"};
        return names[int(kind)];
    }
};

struct TOutcome {
    bool ok = false;
    TSoakBytes data;   // what a load or read brought
    std::string error; // the library's message of a failure
};

// The violations an operation's outcome shows, given the slots (all 30) and
// the EEPROM before and after it; empty when there are none. shortRead is set
// when a read brought another length than asked for.
std::vector<std::string> CheckOperation(const TOp &op, const TOutcome &outcome, const std::vector<TSoakBytes> &before,
                                        const std::vector<TSoakBytes> &after, const TSoakBytes &eepromBefore,
                                        const TSoakBytes &eepromAfter, bool *shortRead = nullptr);
