"""Loading libvelklink (velklink.dll on Windows) and the prototypes of its exports.

The library is found, in this order: the file named by the environment variable
VELK_LIB; the library installed beside this package (the install records where,
in _location.py); the system's loader path. Loading happens once per process, on
first use.
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

EventCallback = _FUNCTYPE(None, ctypes.c_int32, ctypes.c_int32)
LogCallback = _FUNCTYPE(None, ctypes.c_int32, ctypes.c_char_p)
ErrorCallback = _FUNCTYPE(None, ctypes.c_char_p)
IdleCallback = _FUNCTYPE(None)

_i32 = ctypes.c_int32
_u32 = ctypes.c_uint32
_PROTOTYPES = {
    "Initialize": (None, []),
    "Finalize": (None, []),
    "GetVersion": (_i32, [ctypes.c_char_p]),
    "SetLogEvent": (ctypes.c_void_p, [LogCallback]),
    "HLPSetEvent": (ctypes.c_void_p, [EventCallback]),
    "SetErrorEvent": (ctypes.c_void_p, [ErrorCallback]),
    "SetIdleEvent": (ctypes.c_void_p, [IdleCallback]),
    "GetComPort": (_i32, [_i32, ctypes.c_char_p]),
    "OpenComPort": (_i32, [ctypes.c_char_p]),
    "CloseComPort": (_i32, []),
    "ComPortConnected": (_i32, []),
    "ProcessMessages": (None, []),
    "GetMessageHandle": (_i32, []),
    "HLPReadFlash": (_i32, [_u32, _i32]),
    "HLPReadEeprom": (_i32, [_u32, _i32]),
    "HLPSendFlash": (_i32, [ctypes.c_char_p, _u32, _i32]),
    "HLPSendEeprom": (_i32, [ctypes.c_char_p, _u32, _i32]),
    "HLPSendFirmware": (_i32, [ctypes.c_char_p, _i32]),
    "HLPSendSync": (_i32, []),
    "HLPWaitFor": (_i32, []),
    "HLPGetState": (_i32, []),
    "HLPGetError": (_i32, []),
    "HLPGetBuffer": (_i32, [ctypes.c_void_p]),
    "RECRefresh": (_i32, [_i32]),
    "RECItemExists": (_i32, [ctypes.c_char_p, ctypes.c_char_p]),
    "RECLoadItem": (_i32, [ctypes.c_char_p, ctypes.c_char_p]),
    "RECSaveItem": (_i32, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, _i32]),
    "RECGetBuffer": (_i32, [ctypes.c_void_p]),
}

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None


def _candidates() -> list:
    override = os.environ.get("VELK_LIB")
    if override:
        return [override]
    found = []
    here = os.path.dirname(os.path.abspath(__file__))
    try:
        from . import _location  # written by the install

        found.append(os.path.normpath(os.path.join(here, _location.LIBRARY_DIR, _NAME)))
    except ImportError:
        pass
    found.append(os.path.join(here, _NAME))
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
