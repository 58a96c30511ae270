#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into fuzz/corpus/<target>/.

Each seed is a small input in its target's layout (see the comment at the top
of each fuzz_*.cpp): the worked examples of the packet formats, record slots
as the decoder keeps them (sound, broken, at their limits) with a few
operations, and EEPROM slot tables. Run it again after changing a layout."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def be16(v):
    return struct.pack(">H", v & 0xFFFF)


def be32(v):
    return struct.pack(">I", v & 0xFFFFFFFF)


# ---- link packets
def link_packet(kind, last, index, payload):
    head = be16(kind) + be16(12 if not payload else len(payload) + 16) + be16(len(payload)) + be16(last) + be16(index)
    x = 0
    for b in head:
        x ^= b
    head += bytes([x, x ^ 0xFF])
    if payload:
        return head + payload + be32(zlib.adler32(payload))
    return head


DATA, ACK, NACK = 0xA599, 0xA533, 0xA5CC
write("fuzz_llpacket", "ack", link_packet(ACK, 0, 0, b""))
write("fuzz_llpacket", "nack-reason", link_packet(NACK, 0, 0, b"ERR"))
write("fuzz_llpacket", "data-single", link_packet(DATA, 0, 0, b"\x01\x02\x03"))
write("fuzz_llpacket", "data-second-of-three", link_packet(DATA, 2, 1, b"\x41"))
write("fuzz_llpacket", "noise-then-data", b"\x00\x11\xa5" + link_packet(DATA, 0, 0, bytes(range(40))))
write("fuzz_llpacket", "short-length", bytes([0xA5, 0x99, 0x00, 0x05]) + link_packet(ACK, 0, 0, b""))
# The link engine's far end: what it sends over and over.
write("fuzz_link", "letters", b"A" * 64)
write("fuzz_link", "acks", link_packet(ACK, 0, 0, b"") * 2)
write("fuzz_link", "noise-and-data", b"\x13\xa5\xa5" + link_packet(DATA, 1, 0, bytes(range(200))) + link_packet(NACK, 0, 0, b"E"))
write("fuzz_link", "endless-packet", bytes([0xA5, 0x99, 0xFF, 0xFF]) + bytes(500))


# ---- transfer packets
def transfer_packet(command, data=b"", address=0):
    return be32(command) + be32(16 + len(data)) + be32(len(data)) + be32(address) + data


write("fuzz_hlpacket", "sync", b"\x00\x00\x00\x28\x00" + transfer_packet(0x5A390041))
write("fuzz_hlpacket", "read-flash", b"\x00\x00\x00\x28\x00" + transfer_packet(0x5A390021, be32(0x34020000) + be32(80)))
write("fuzz_hlpacket", "write-flash", b"\x00\x00\x00\x28\x01" + transfer_packet(0x5A390011, bytes(50), 0x34030000))
write("fuzz_hlpacket", "data", b"\x7f\xff\xff\xff\x00" + transfer_packet(0x5A390031, bytes(range(200))))


# ---- record slots
def record(name, items, in_use=True, body=None, count=None, offsets=None):
    """A slot image: header, item table and data, as the decoder keeps it."""
    n = len(items)
    table = b""
    data = b""
    offset = 4 + 20 * n
    for i, (item, payload) in enumerate(items):
        at = offsets[i] if offsets else offset
        table += item.encode()[:12].ljust(12, b"\0") + be32(at) + be32(len(payload))
        data += payload
        offset += len(payload)
    length = body if body is not None else offset
    head = (b"\x00\x40" if in_use else b"\xff\xff") + bytes(62) + name.encode()[:8].ljust(8, b"\0")
    return head + be32(length) + be32(count if count is not None else n) + table + data


def slot_input(flags, image, ops=b""):
    return bytes([flags]) + be16(len(image)) + image + ops


ADD = lambda name, size: bytes([0, name]) + be16(size)
DELETE = lambda index: bytes([1]) + be16(index)
REPAIR = bytes([2])
ENTRY = lambda index, field, value: bytes([3]) + be16(index) + bytes([field]) + be32(value)
HEADER = lambda which, value: bytes([4, which]) + be32(value)
SAVE = bytes([5])
LOAD = lambda full, short: bytes([6, full, short])

settings = bytes(range(64))
three = [("a", bytes(10)), ("b", bytes(range(200))), ("c", b"\x07" * 7)]
write("fuzz_record", "empty", slot_input(0, b""))
write("fuzz_record", "erased", slot_input(1, b"", ADD(1, 10) + SAVE))
write("fuzz_record", "settings", slot_input(1, record("SET", [("SET", settings)]), ADD(3, 64) + DELETE(0) + REPAIR + SAVE + LOAD(1, 0)))
write("fuzz_record", "three-items", slot_input(0, record("pictures", three), DELETE(1) + ADD(0, 300) + LOAD(0, 0) + SAVE))
write("fuzz_record", "broken-chain", slot_input(0, record("R", three, offsets=[64, 80, 300]), REPAIR + ADD(2, 5) + DELETE(0)))
write("fuzz_record", "long-body", slot_input(0, record("R", three, body=5000), REPAIR + SAVE + LOAD(1, 3)))
write("fuzz_record", "count-too-big", slot_input(2, record("R", [], count=3273), REPAIR + HEADER(1, 3272) + ADD(4, 1)))
# The item's data is all zero: the image beyond the given bytes reads 0 anyway.
exact = record("R", [("big", bytes(65460 - 4 - 40))])
write("fuzz_record", "exact-fit", slot_input(0, exact[:100], ADD(0, 0) + ADD(0, 1) + DELETE(0)))
write("fuzz_record", "entry-edits", slot_input(0, record("R", three), ENTRY(1, 0, 0xFFFFFFF0) + ADD(1, 3) + ENTRY(1, 1, 10) + REPAIR + SAVE))
write("fuzz_record", "odd-size", slot_input(0, record("R", [("one", b"\x01")]), SAVE + HEADER(0, 70000) + HEADER(0, 25)))


# ---- EEPROM slot tables
def eeprom(reserved, flags):
    image = bytearray(0x1103)  # up to the reserved slot index; the rest reads 0
    image[0x1102] = reserved
    for word, on in enumerate(flags):
        image[0x108E + 4 * word] = 0x80 if on else 0x00
    return bytes(image)


write("fuzz_eeprom", "demo", b"\x00" + eeprom(29, [True] * 29))
write("fuzz_eeprom", "reserved-0", b"\x00" + eeprom(0, [i % 2 == 0 for i in range(29)]))
write("fuzz_eeprom", "reserved-31", b"\x00" + eeprom(0xFF, [True] * 29))
write("fuzz_eeprom", "empty", b"\x00")
write("fuzz_eeprom", "short-answer", b"\x01" + eeprom(29, [True] * 29))


# ---- record directories
def directory(reserved, words, slots, ops):
    data = bytes([reserved]) + bytes(words)
    for slot, image in slots:
        data += bytes([slot]) + be16(len(image)) + image
    data += b"\xff"
    return data + ops


REFRESH = lambda full: bytes([0, full])
SAVE_ITEM = lambda rec, item, size: bytes([1, rec, item]) + be16(size)
LOAD_ITEM = lambda rec, item: bytes([2, rec, item])
FAULTS = lambda bits: bytes([3, bits])

admitted = [0x80] * 29
write("fuzz_records", "demo", directory(29, admitted, [(0, record("SET", [("SET", settings)]))],
                                        REFRESH(0) + LOAD_ITEM(0, 0) + SAVE_ITEM(1, 1, 64) + SAVE_ITEM(1, 2, 3000) + LOAD_ITEM(1, 2)))
write("fuzz_records", "failed-write", directory(29, admitted, [(0, record("SET", [("SET", settings)])), (1, record("pictures", three))],
                                                REFRESH(0) + FAULTS(1) + SAVE_ITEM(1, 2, 10) + FAULTS(0) + SAVE_ITEM(1, 3, 5) + LOAD_ITEM(1, 2)))
write("fuzz_records", "duplicates", directory(29, admitted, [(0, record("R", three)), (2, record("R", three))],
                                              REFRESH(1) + LOAD_ITEM(2, 2) + SAVE_ITEM(2, 2, 1)))
write("fuzz_records", "no-refresh", directory(0, [0] * 29, [(3, record("SET", [("SET", settings)]))],
                                              SAVE_ITEM(0, 0, 8) + REFRESH(0) + FAULTS(2) + REFRESH(1) + LOAD_ITEM(0, 0)))


# ---- Telnet streams of remote ports: flags (bit 0: opening sent), then
# pieces [length][bytes]
def pieces(*parts):
    return b"".join(bytes([len(p)]) + p for p in parts)


IAC = 0xFF
ser2net_opening = bytes([IAC, 0xFB, 3, IAC, 0xFD, 3, IAC, 0xFB, 1, IAC, 0xFE, 1, IAC, 0xFD, 0, IAC, 0xFB, 0, IAC, 0xFD, 44])
answers = bytes([IAC, 0xFA, 44, 101, 0, 1, 0xC2, 0, IAC, 0xF0, IAC, 0xFA, 44, 102, 8, IAC, 0xF0,
                 IAC, 0xFA, 44, 103, 1, IAC, 0xF0, IAC, 0xFA, 44, 104, 1, IAC, 0xF0])
write("fuzz_telnet", "ser2net-opening", b"\x01" + pieces(ser2net_opening[:7], ser2net_opening[7:], answers))
write("fuzz_telnet", "refusal", b"\x01" + pieces(ser2net_opening + b"Port already in use\r\n"))
write("fuzz_telnet", "data-with-iac", b"\x00" + pieces(bytes([1, IAC, IAC, 2, IAC]), bytes([IAC, IAC, 0xFA, 44, 107, 0x30, IAC]), bytes([0xF0, 9])))
write("fuzz_telnet", "split-answer", b"\x01" + pieces(answers[:3], answers[3:6], answers[6:]))
