"""Loading libvelklink (velklink.dll on Windows) and the prototypes of its session interface.

The library is found, in this order: the file named by the environment variable
VELK_LIB; the library in this package's own folder (a Windows wheel carries its
DLL there); the library installed beside this package (the install records
where, in _location.py); the system's loader path. Loading happens once per
process, on first use.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from typing import Optional

if sys.platform == "win32":
    _NAME = "velklink.dll"
    # On 32-bit Windows the exports and the callbacks use stdcall; on 64-bit
    # Windows there is one calling convention and WINFUNCTYPE is CFUNCTYPE.
    _Loader = ctypes.WinDLL
    _FUNCTYPE = ctypes.WINFUNCTYPE
else:
    _NAME = "libvelklink.so.1"
    _Loader = ctypes.CDLL
    _FUNCTYPE = ctypes.CFUNCTYPE

# The session interface's callbacks: progress(context, done, total) and
# log(context, kind, text), text UTF-8.
ProgressCallback = _FUNCTYPE(None, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32)
LogCallback = _FUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p)


class Directory(ctypes.Structure):
    _fields_ = [("base", ctypes.c_uint32), ("slot_count", ctypes.c_uint32), ("free_slots", ctypes.c_uint32),
                ("usable_free_slots", ctypes.c_uint32)]


class SlotInfo(ctypes.Structure):
    _fields_ = [("slot", ctypes.c_uint32), ("address", ctypes.c_uint32), ("status", ctypes.c_int32),
                ("admitted", ctypes.c_int32), ("slot_flag", ctypes.c_int32), ("items", ctypes.c_uint32),
                ("free", ctypes.c_uint32), ("name", ctypes.c_char * 32)]


class ItemInfo(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("name", ctypes.c_char * 40)]


class PortInfo(ctypes.Structure):
    """velk_port_info: a serial port and what the system tells of it."""
    _fields_ = [("device", ctypes.c_char * 512), ("by_id", ctypes.c_char * 512), ("serial", ctypes.c_char * 384),
                ("vendor_id", ctypes.c_char * 8), ("product_id", ctypes.c_char * 8),
                ("manufacturer", ctypes.c_char * 384), ("product", ctypes.c_char * 384),
                ("driver", ctypes.c_char * 256), ("latency_ms", ctypes.c_int32)]


SLOT_FREE = 0
SLOT_DAMAGED = 2

_i32 = ctypes.c_int32
_u32 = ctypes.c_uint32
_p = ctypes.c_void_p
_s = ctypes.c_char_p
_PROTOTYPES = {
    "velk_version": (_s, []),
    "velk_open": (_i32, [_s, ctypes.POINTER(_p)]),
    "velk_close": (None, [_p]),
    "velk_message": (_s, [_p]),
    "velk_cancel": (None, [_p]),
    "velk_set_progress": (_i32, [_p, ProgressCallback, _p]),
    "velk_set_log": (_i32, [_p, LogCallback, _p]),
    "velk_set_retries": (_i32, [_p, _u32]),
    "velk_sync": (_i32, [_p, ctypes.POINTER(ctypes.c_int)]),
    "velk_read_flash": (_i32, [_p, _u32, _p, _u32]),
    "velk_write_flash": (_i32, [_p, _u32, _s, _u32]),
    "velk_read_eeprom": (_i32, [_p, _u32, _p, _u32]),
    "velk_write_eeprom": (_i32, [_p, _u32, _s, _u32]),
    "velk_upload_firmware": (_i32, [_p, _s, _u32]),
    "velk_get_item": (_i32, [_p, _s, _s, _p, _u32, ctypes.POINTER(_u32)]),
    "velk_put_items": (_i32, [_p, _s, ctypes.c_size_t, ctypes.POINTER(_s), ctypes.POINTER(_p), ctypes.POINTER(_u32)]),
    "velk_delete_item": (_i32, [_p, _s, _s]),
    "velk_refresh": (_i32, [_p, ctypes.c_int]),
    "velk_get_directory": (_i32, [_p, ctypes.POINTER(Directory)]),
    "velk_get_slot": (_i32, [_p, _u32, ctypes.POINTER(SlotInfo)]),
    "velk_get_slot_item": (_i32, [_p, _u32, _u32, ctypes.POINTER(ItemInfo)]),
    "velk_list_ports": (_i32, [ctypes.POINTER(PortInfo), _u32, ctypes.POINTER(_u32)]),
}

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None


def _candidates() -> list:
    override = os.environ.get("VELK_LIB")
    if override:
        return [override]
    here = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(here, _NAME)]
    try:
        from . import _location  # written by the install

        found.append(os.path.normpath(os.path.join(here, _location.LIBRARY_DIR, _NAME)))
    except ImportError:
        pass
    if sys.platform == "win32":
        # Python resolves a bare DLL name without PATH; find_library searches it.
        path = ctypes.util.find_library("velklink")
        if path:
            found.append(path)
    found.append(_NAME)
    return found


def _load() -> ctypes.CDLL:
    tried = []
    for candidate in _candidates():
        if os.path.isabs(candidate) and not os.path.exists(candidate):
            tried.append(f"{candidate}: no such file")
            continue
        try:
            return _Loader(candidate)
        except OSError as error:
            tried.append(f"{candidate}: {error}")
    raise OSError("velklink: cannot load the library (VELK_LIB names its file): " + "; ".join(tried))


def library() -> ctypes.CDLL:
    """The loaded library with the prototypes of its exports set."""
    global _library
    with _lock:
        if _library is None:
            lib = _load()
            for name, (result, arguments) in _PROTOTYPES.items():
                function = getattr(lib, name)
                function.restype = result
                function.argtypes = arguments
            _library = lib
        return _library
