// What a record slot's bytes say of it, as the session interface reports a
// slot: free, a record or damaged; a record's name, item count and free bytes.
// The slot's place (slot, address, flags) is the caller's to fill.
#pragma once

#include "velklink.h"
#include "velkrecord.h"

velk_slot_info DescribeRecord(velk_Record &record);
