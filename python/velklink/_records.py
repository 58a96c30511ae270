"""The records a decoder holds, as the library's record directory lists them."""

from __future__ import annotations

from typing import List, NamedTuple


class Item(NamedTuple):
    """One item of a record: its name and its size in bytes."""

    name: str
    size: int


class Record(NamedTuple):
    """A record the decoder holds in a slot of its record area.

    admitted: whether the EEPROM's slot table admits the slot, so that the
    record store finds the record by its name; free: the bytes left in the
    slot for more items (each also takes a 20-byte table entry); damaged: the
    slot is in use but its record's structure is not valid, so no items are
    listed and nothing in it can be read by name."""

    slot: int
    address: int
    name: str
    items: List[Item]
    admitted: bool = True
    free: int = 0
    damaged: bool = False
