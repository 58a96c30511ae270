"""The machine's serial ports and their identity, as the library lists them."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import List, Optional, Union

from . import _errors
from ._library import PortInfo, library

__all__ = ["Port", "find", "ports"]

# Room for this many ports more than counted: one may be plugged in between
# the count and the listing. After that many tries the list is left to change.
_SPARE = 4
_TRIES = 4


@dataclass(frozen=True)
class Port:
    """A serial port and what the system tells of it; None where it tells nothing.

    device: the name to open ("/dev/ttyUSB0", "COM3");
    by_id: the stable name under /dev/serial/by-id, which stays when the
        adapter is plugged in again;
    serial, vid, pid, manufacturer, product: the USB adapter's serial number,
        vendor and product IDs (ints) and its own names;
    driver: the system's driver ("ftdi_sio");
    latency_ms: the USB adapter's latency timer.
    On Windows only device is known.
    """

    device: str
    by_id: Optional[str] = None
    serial: Optional[str] = None
    vid: Optional[int] = None
    pid: Optional[int] = None
    manufacturer: Optional[str] = None
    product: Optional[str] = None
    driver: Optional[str] = None
    latency_ms: Optional[int] = None

    def __str__(self) -> str:
        return self.device


def _text(field: bytes) -> Optional[str]:
    return field.decode("utf-8", "replace") if field else None


def _usb_id(field: bytes) -> Optional[int]:
    try:
        return int(field, 16) if field else None
    except ValueError:
        return None


def _port(info: PortInfo) -> Port:
    return Port(device=info.device.decode("utf-8", "replace"), by_id=_text(info.by_id), serial=_text(info.serial),
                vid=_usb_id(info.vendor_id), pid=_usb_id(info.product_id), manufacturer=_text(info.manufacturer),
                product=_text(info.product), driver=_text(info.driver),
                latency_ms=info.latency_ms if info.latency_ms >= 0 else None)


def ports() -> List[Port]:
    """The machine's serial ports, sorted ignoring case, each a Port with its
    identity (device paths on Linux, COMn on Windows). Raises PortError when
    the system's list cannot be read."""
    lib = library()
    count = ctypes.c_uint32(0)
    for _ in range(_TRIES):
        result = lib.velk_list_ports(None, 0, ctypes.byref(count))
        if result != _errors.OK:
            raise _errors.from_result(result, lib.velk_message(None).decode("utf-8", "replace"))
        records = (PortInfo * (count.value + _SPARE))()
        result = lib.velk_list_ports(records, len(records), ctypes.byref(count))
        if result == _errors.ERR_ARGUMENT and count.value > len(records):
            continue
        if result != _errors.OK:
            raise _errors.from_result(result, lib.velk_message(None).decode("utf-8", "replace"))
        return [_port(records[i]) for i in range(count.value)]
    raise _errors.PortError("the list of serial ports kept changing while it was read", _errors.ERR_PORT)


def _wanted_id(value: Union[int, str, None], what: str) -> Optional[int]:
    """A USB ID given as an int or as four hexadecimal digits (any case)."""
    if value is None:
        return None
    if isinstance(value, bool):
        raise TypeError(f"{what} must be int or str, not bool")
    if isinstance(value, int):
        if not 0 <= value <= 0xFFFF:
            raise ValueError(f"{what} {value:#x} is not a 16-bit USB ID")
        return value
    if isinstance(value, str):
        if len(value) != 4 or any(c not in "0123456789abcdefABCDEF" for c in value):
            raise ValueError(f"{what} {value!r} is not four hexadecimal digits")
        return int(value, 16)
    raise TypeError(f"{what} must be int or str, not {type(value).__name__}")


def find(serial: Optional[str] = None, vid: Union[int, str, None] = None,
         pid: Union[int, str, None] = None) -> List[str]:
    """The device names of the ports whose USB adapter has every identity
    given: its serial number (compared exactly), vendor ID and product ID
    (ints, or four hexadecimal digits in any case: 0x0403, "0403", "1A86").
    With nothing given, every USB adapter's port. A port without a USB
    adapter never matches.

        port = velklink.find(serial="A10K3XYZ")[0]
        bench = velklink.find(vid=0x0403, pid="6001")
    """
    wanted_vid = _wanted_id(vid, "vid")
    wanted_pid = _wanted_id(pid, "pid")
    return [port.device for port in ports()
            if port.vid is not None
            and (serial is None or port.serial == serial)
            and (wanted_vid is None or port.vid == wanted_vid)
            and (wanted_pid is None or port.pid == wanted_pid)]
