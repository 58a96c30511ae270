"""The library's texts are Windows-1252 bytes; Python's are str.

The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) are
read as the control characters of the same number, as Windows itself converts
them, so no byte of a log line or a name is lost.
"""

from __future__ import annotations

import codecs
import os
import sys

CODE_PAGE = "cp1252"
RECORD_NAME_WIDTH = 8
ITEM_NAME_WIDTH = 12


def _same_number(error: UnicodeDecodeError):
    return "".join(chr(b) for b in error.object[error.start : error.end]), error.end


codecs.register_error("velklink-same-number", _same_number)


def decode(raw: bytes) -> str:
    """Library text (Windows-1252 bytes) as str."""
    return raw.decode(CODE_PAGE, "velklink-same-number")


def stored_name(name: str, what: str, width: int) -> bytes:
    """The bytes a record or item name is stored as, after the checks the
    library does not make: a name it would cut to its field, or store as "?",
    could never be found again by the name given."""
    if not isinstance(name, str):
        raise TypeError(f"{what} must be str, not {type(name).__name__}")
    try:
        stored = name.encode(CODE_PAGE)
    except UnicodeEncodeError:
        raise ValueError(f"{what} {name!r} has characters the decoder cannot store (names are Windows-1252 text)") from None
    if any(b < 0x20 or b == 0x7F for b in stored):
        raise ValueError(f"{what} {name!r} holds a control character")
    if not 1 <= len(stored) <= width:
        raise ValueError(f"{what} {name!r} must have 1 to {width} characters")
    return stored


def port_name(name) -> bytes:
    """A port name as the library takes it. On Linux the library opens the
    bytes as a device path, so they are the file system's bytes; on Windows
    the port names are Windows-1252."""
    if isinstance(name, (bytes, bytearray)):
        raw = bytes(name)
    elif isinstance(name, str) or hasattr(name, "__fspath__"):
        text = os.fspath(name)
        if isinstance(text, bytes):
            raw = text
        elif sys.platform == "win32":
            try:
                raw = text.encode(CODE_PAGE)
            except UnicodeEncodeError:
                raise ValueError(f"port name {text!r} has characters the library cannot take (Windows-1252)") from None
        else:
            raw = os.fsencode(text)
    else:
        raise TypeError(f"port name must be str, bytes or a path, not {type(name).__name__}")
    if not raw or b"\0" in raw:
        raise ValueError(f"port name {name!r} is empty or holds a NUL character")
    return raw
