"""The decoder's record area as the record store reads it: 30 slots of 64 KiB
of flash from 0x34020000, each maybe holding a record (a name and a table of
named items), and the EEPROM's slot table that admits slots to the store.

The library's exports find items by name but do not list them; the listing is
read here with plain flash and EEPROM reads, by the rules the library's
directory applies after a refresh.
"""

from __future__ import annotations

import struct
from typing import List, NamedTuple, Optional

from ._text import ITEM_NAME_WIDTH, RECORD_NAME_WIDTH, decode

RECORD_AREA = 0x34020000
SLOT_SIZE = 0x10000
SLOT_COUNT = 30
EEPROM_SIZE = 8192

HEADER_SIZE = 76  # status, reserved bytes, name, body length
HEAD_READ = 80  # the header and the item count
IN_USE = 0x0040
ENTRY_SIZE = 20
MAX_BODY = SLOT_SIZE - HEADER_SIZE
MAX_ITEMS = (MAX_BODY - 4) // ENTRY_SIZE

SLOT_WORDS = 0x108E  # one 32-bit word per admitted slot, bit 31 = admitted
RESERVED_SLOT = 0x1102  # low 5 bits: the one slot without a word


class Item(NamedTuple):
    """One item of a record: its name and its size in bytes."""

    name: str
    size: int


class Record(NamedTuple):
    """A record the decoder holds in a slot of its record area.

    admitted: whether the EEPROM's slot table admits the slot, so that the
    record store finds the record by its name; free: the bytes left in the
    slot for more items (each also takes a 20-byte table entry)."""

    slot: int
    address: int
    name: str
    items: List[Item]
    admitted: bool = True
    free: int = 0


def slot_address(slot: int) -> int:
    return RECORD_AREA + slot * SLOT_SIZE


def _name(raw: bytes, width: int) -> str:
    return decode(raw[:width].split(b"\0", 1)[0])


def body_read_length(head: bytes) -> Optional[int]:
    """How many bytes of the body (from slot offset 76) hold the item count and
    table, or None when the slot holds no record or an empty one."""
    status, = struct.unpack_from(">H", head, 0)
    body, count = struct.unpack_from(">ii", head, 72)
    if status != IN_USE or not 4 <= body <= MAX_BODY or count <= 0:
        return None
    return 4 + ENTRY_SIZE * min(count, MAX_ITEMS)


def parse_record(slot: int, head: bytes, table: bytes, admitted: bool) -> Optional[Record]:
    """The record in a slot from its first 80 bytes and its item table (the
    body_read_length bytes from offset 76, or b""), or None when the slot is
    free or its table does not chain (the record store skips such a record)."""
    status, = struct.unpack_from(">H", head, 0)
    if status != IN_USE:
        return None
    name = _name(head[64:72], RECORD_NAME_WIDTH)
    items: List[Item] = []
    end = 4
    if table:
        count = min(struct.unpack_from(">i", table, 0)[0], MAX_ITEMS)
        end = 4 + ENTRY_SIZE * count
        for index in range(count):
            entry = table[4 + ENTRY_SIZE * index : 4 + ENTRY_SIZE * (index + 1)]
            offset, size = struct.unpack_from(">ii", entry, ITEM_NAME_WIDTH)
            if offset != end or size < 0:
                return None
            items.append(Item(_name(entry, ITEM_NAME_WIDTH), size))
            end += size
        if end > MAX_BODY:
            return None
    return Record(slot, slot_address(slot), name, items, admitted, MAX_BODY - end)


def admitted_slots(eeprom: bytes) -> List[bool]:
    """Which record slots the EEPROM's slot table admits."""
    reserved = eeprom[RESERVED_SLOT] & 0x1F
    flags = []
    for slot in range(SLOT_COUNT):
        if slot == reserved:
            flags.append(False)
            continue
        word = slot if slot < reserved else slot - 1
        flags.append(bool(eeprom[SLOT_WORDS + 4 * word] & 0x80))
    return flags
