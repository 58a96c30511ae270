"""The Decoder: one session of the library, its exchanges and its records."""

from __future__ import annotations

import ctypes
import logging
import os
import signal
import threading
import weakref
from typing import Callable, List, Optional, Union

from . import _errors
from ._library import (SLOT_DAMAGED, SLOT_FREE, Directory, ItemInfo, LogCallback, ProgressCallback, SlotInfo,
                       library)
from ._records import Item, Record

__all__ = ["Decoder", "Progress", "version"]

Progress = Callable[[int, int], None]
"""A progress callback: progress(done, total), both in bytes of the caller's data."""

BytesLike = Union[bytes, bytearray, memoryview]

_LOG = logging.getLogger("velklink")
# The session's log kinds (VELK_LOG_LINK, VELK_LOG_TRANSFER, VELK_LOG_SESSION).
_LOG_KINDS = {0: "link", 1: "transfer", 2: "session"}
# The largest item a record's slot can hold: get() reads into a buffer this size.
_ITEM_CAPACITY = 0x10000
# How often a wait for a call on the main thread lets Python look at Ctrl-C.
_WAIT_SLICE = 0.05

def version() -> str:
    """The library's version text, for example "Velkora Library 1.4"."""
    return library().velk_version().decode("utf-8")


def _check_address(address: int) -> int:
    if not isinstance(address, int) or isinstance(address, bool):
        raise TypeError(f"address must be int, not {type(address).__name__}")
    if not 0 <= address <= 0xFFFFFFFF:
        raise ValueError(f"address {address:#x} is not a 32-bit address")
    return address


def _check_length(length: int) -> int:
    if not isinstance(length, int) or isinstance(length, bool):
        raise TypeError(f"length must be int, not {type(length).__name__}")
    if not 0 <= length <= 0x7FFFFFFF:
        raise ValueError(f"length {length} is not within 1 to 2147483647 bytes")
    return length


def _data(data: BytesLike, what: str = "data") -> bytes:
    if isinstance(data, str):
        raise TypeError(f"{what} must be bytes-like, not str (encode it first)")
    try:
        return bytes(memoryview(data))
    except TypeError:
        raise TypeError(f"{what} must be bytes-like, not {type(data).__name__}") from None


def _name(name: str, what: str) -> bytes:
    if not isinstance(name, str):
        raise TypeError(f"{what} must be str, not {type(name).__name__}")
    return name.encode("utf-8", "surrogatepass")


def _port_text(port: Union[str, bytes, os.PathLike]) -> str:
    if isinstance(port, (bytes, bytearray)):
        return os.fsdecode(bytes(port))
    if isinstance(port, str) or hasattr(port, "__fspath__"):
        text = os.fspath(port)
        return os.fsdecode(text) if isinstance(text, bytes) else text
    raise TypeError(f"port name must be str, bytes or a path, not {type(port).__name__}")


class _Callbacks:
    """What the library's callbacks reach, on the session's thread: the
    caller's progress function and the session's loggers. Not the Decoder
    itself, so that a Decoder nobody holds is collected and closed."""

    def __init__(self, port: str) -> None:
        self.loggers = {kind: logging.getLogger(f"velklink.{name}.{port}") for kind, name in _LOG_KINDS.items()}
        self.progress: Optional[Progress] = None
        self.failure: Optional[BaseException] = None
        self.cancel: Callable[[], None] = lambda: None
        self.on_progress = ProgressCallback(self._progress)
        self.on_log = LogCallback(self._log)

    def _failed(self, error: BaseException) -> None:
        # A callback must not raise into the library: the call is cancelled and
        # the exception raised when it has returned.
        if self.failure is None:
            self.failure = error
        self.cancel()

    def _progress(self, context: object, done: int, total: int) -> None:
        try:
            if self.progress is not None and total > 0:
                self.progress(done, total)
        except BaseException as error:
            self._failed(error)

    def _log(self, context: object, kind: int, text: bytes) -> None:
        try:
            logger = self.loggers.get(kind, _LOG)
            if logger.isEnabledFor(logging.DEBUG):
                logger.debug("%s", (text or b"").decode("utf-8", "replace"))
        except BaseException as error:
            self._failed(error)


def _close_session(lib: ctypes.CDLL, handle: int, callbacks: _Callbacks) -> None:
    """Closes a session; the callbacks stay alive until then."""
    lib.velk_close(handle)


class Decoder:
    """A decoder on a serial port: one session of the library.

        with velklink.Decoder("/dev/ttyUSB0") as dec:
            print(dec.sync())
            head = dec.read_flash(0x34020000, 80)

    The port name is a device path, "COMn" (on Linux /dev/ttyS<n-1>) or a name
    under /dev, or a remote port (rfc2217://HOST:PORT, socket://HOST:PORT).

    Any number of Decoders may be open at once, each on its own port, and a
    Decoder may be used from any thread, one call at a time (a second call
    while one runs raises RuntimeError). Failures raise Error or one of its
    kinds (PortError, NoAnswer, Refused, RecordError) with the library's
    message, chosen by the library's result code; arguments the library
    refuses raise ValueError. The logs of a Decoder go to the loggers
    "velklink.link.<port>", "velklink.transfer.<port>" and
    "velklink.session.<port>" at level DEBUG.

    Ctrl-C during a call on the main thread (with Python's default handler)
    cancels the call within a second, closes the Decoder and raises
    KeyboardInterrupt; nothing is reported as done that the decoder did not
    acknowledge. A Decoder that is dropped without close() is closed when it
    is collected.
    """

    def __init__(self, port: Union[str, bytes, os.PathLike], retries: int = 0) -> None:
        self.port = _port_text(port)
        lib = library()
        self._lib = lib
        self._handle: Optional[int] = None
        self._callbacks = _Callbacks(self.port)
        handle = ctypes.c_void_p()
        result = lib.velk_open(self.port.encode("utf-8", "surrogateescape"), ctypes.byref(handle))
        if result != _errors.OK:
            raise _errors.from_result(result, (lib.velk_message(None) or b"").decode("utf-8", "replace"))
        self._handle = handle.value
        callbacks = self._callbacks
        callbacks.cancel = lambda: lib.velk_cancel(handle.value)
        self._finalizer = weakref.finalize(self, _close_session, lib, handle.value, callbacks)
        self._check_result(lib.velk_set_log(handle.value, callbacks.on_log, None))
        self._check_result(lib.velk_set_progress(handle.value, callbacks.on_progress, None))
        if retries:
            self._check_result(lib.velk_set_retries(handle.value, retries))

    # -- lifecycle ---------------------------------------------------------

    def __enter__(self) -> Decoder:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<velklink.Decoder {self.port!r} {'open' if self.is_open else 'closed'}>"

    @property
    def is_open(self) -> bool:
        """Whether the session is open (False after close() or an interrupt)."""
        return self._handle is not None

    def close(self) -> None:
        """Closes the port. Closing twice does nothing; from inside a progress
        callback the Decoder closes once the running call has returned."""
        if self._handle is None:
            return
        self._handle = None
        self._finalizer()

    def _check(self) -> int:
        if self._handle is None:
            raise RuntimeError(f"the Decoder on {self.port} is closed")
        return self._handle

    def _check_result(self, result: int) -> None:
        if result == _errors.OK:
            return
        # A session closed by its own callback is gone with its message.
        message = "the Decoder was closed during the call"
        if self._handle is not None:
            message = (self._lib.velk_message(self._handle) or b"").decode("utf-8", "replace")
        raise _errors.from_result(result, message)

    def _call(self, function: Callable[..., int], *arguments: object, progress: Optional[Progress] = None) -> None:
        """Runs a call of the session; raises what it failed with."""
        handle = self._check()
        callbacks = self._callbacks
        callbacks.progress = progress
        callbacks.failure = None
        try:
            if (threading.current_thread() is threading.main_thread()
                    and signal.getsignal(signal.SIGINT) is signal.default_int_handler):
                result = self._interruptible(function, handle, *arguments)
            else:
                result = function(handle, *arguments)
        finally:
            callbacks.progress = None
        failure, callbacks.failure = callbacks.failure, None
        if failure is not None:
            raise failure
        self._check_result(result)

    def _interruptible(self, function: Callable[..., int], handle: int, *arguments: object) -> int:
        """Runs the call on a helper thread while this thread waits where
        Ctrl-C reaches it: the library's call does not return to Python
        until it ends. Ctrl-C cancels it and closes the Decoder."""
        outcome: List[int] = []
        worker = threading.Thread(target=lambda: outcome.append(function(handle, *arguments)),
                                  name=f"velklink {self.port}", daemon=True)
        worker.start()
        try:
            while worker.is_alive():
                worker.join(_WAIT_SLICE)
        except KeyboardInterrupt:
            self._lib.velk_cancel(handle)
            worker.join()
            self.close()
            raise
        return outcome[0]

    # -- exchanges -----------------------------------------------------------

    def sync(self) -> str:
        """Synchronises with the decoder; returns "Decoder sincronizzato." or,
        when it already was, "Decoder gi\u00e0 sincronizzato."."""
        already = ctypes.c_int(0)
        self._call(self._lib.velk_sync, ctypes.byref(already))
        return "Decoder gi\u00e0 sincronizzato." if already.value else "Decoder sincronizzato."

    def _read(self, function: Callable[..., int], address: int, length: int, progress: Optional[Progress]) -> bytes:
        _check_address(address)
        _check_length(length)
        buffer = ctypes.create_string_buffer(max(length, 1))
        self._call(function, address, buffer, length, progress=progress)
        return buffer.raw[:length]

    def read_flash(self, address: int, length: int, progress: Optional[Progress] = None) -> bytes:
        """Reads length bytes of flash from address (the decoder reads its
        record area, 0x34020000 to 0x341FFFFF, and refuses the rest).
        progress(done, total) is called as the bytes arrive."""
        return self._read(self._lib.velk_read_flash, address, length, progress)

    def read_eeprom(self, address: int, length: int, progress: Optional[Progress] = None) -> bytes:
        """Reads length bytes of the 8 KiB EEPROM from address."""
        return self._read(self._lib.velk_read_eeprom, address, length, progress)

    def _write(self, function: Callable[..., int], address: int, data: BytesLike, progress: Optional[Progress],
               what: str = "data") -> None:
        payload = _data(data, what)
        _check_address(address)
        _check_length(len(payload))
        self._call(function, address, payload, len(payload), progress=progress)

    def write_flash(self, address: int, data: BytesLike, progress: Optional[Progress] = None) -> None:
        """Writes data into flash at address (the decoder writes from the start
        of a record slot, at most 65,536 bytes). progress(done, total) counts
        the bytes the decoder has acknowledged."""
        self._write(self._lib.velk_write_flash, address, data, progress)

    def write_eeprom(self, address: int, data: BytesLike, progress: Optional[Progress] = None) -> None:
        """Writes data into the EEPROM at address."""
        self._write(self._lib.velk_write_eeprom, address, data, progress)

    def upload_firmware(self, image: BytesLike, progress: Optional[Progress] = None) -> None:
        """Uploads a firmware image."""
        payload = _data(image, "image")
        _check_length(len(payload))
        self._call(self._lib.velk_upload_firmware, payload, len(payload), progress=progress)

    # -- records -------------------------------------------------------------

    def records(self) -> List[Record]:
        """The records the decoder holds, slot by slot, as the library's
        directory lists them after reading it again: each with its items (name
        and size), whether the EEPROM's slot table admits its slot (only
        admitted records are found by name), the bytes free in the slot, and
        whether it is damaged (in use but not valid: no items listed)."""
        lib = self._lib
        self._call(lib.velk_refresh, 0)
        directory = Directory()
        self._call(lib.velk_get_directory, ctypes.byref(directory))
        found = []
        for slot in range(directory.slot_count):
            info = SlotInfo()
            self._call(lib.velk_get_slot, slot, ctypes.byref(info))
            if info.status == SLOT_FREE:
                continue
            items = []
            for index in range(info.items):
                item = ItemInfo()
                self._call(lib.velk_get_slot_item, slot, index, ctypes.byref(item))
                items.append(Item(item.name.decode("utf-8", "replace"), item.size))
            found.append(Record(info.slot, info.address, info.name.decode("utf-8", "replace"), items,
                                bool(info.admitted), info.free, info.status == SLOT_DAMAGED))
        return found

    def refresh(self, full: bool = False) -> None:
        """Reads the record directory again (get and put read it once by
        themselves); needed only when someone else changed the decoder's
        records. full=True reads every record whole instead of just the item
        tables, so later gets read nothing more."""
        self._call(self._lib.velk_refresh, 1 if full else 0)

    def get(self, record: str, item: str) -> bytes:
        """The bytes of item of record. Raises RecordError when the record or
        the item is missing or duplicate."""
        record_name = _name(record, "record name")
        item_name = _name(item, "item name")
        buffer = ctypes.create_string_buffer(_ITEM_CAPACITY)
        length = ctypes.c_uint32(0)
        self._call(self._lib.velk_get_item, record_name, item_name, buffer, _ITEM_CAPACITY, ctypes.byref(length))
        return buffer.raw[:length.value]

    def put(self, record: str, item: str, data: BytesLike) -> None:
        """Stores data as item of record, replacing an item of that name; a
        new record takes the first free slot. Raises RecordError when the
        record has no room left or no slot is free."""
        record_name = _name(record, "record name")
        item_name = _name(item, "item name")
        payload = _data(data)
        names = (ctypes.c_char_p * 1)(item_name)
        data_pointers = (ctypes.c_void_p * 1)(ctypes.cast(ctypes.c_char_p(payload), ctypes.c_void_p))
        lengths = (ctypes.c_uint32 * 1)(len(payload))
        self._call(self._lib.velk_put_items, record_name, 1, names, data_pointers, lengths)

    def delete(self, record: str, item: str) -> None:
        """Removes item from record. Raises RecordError when either is missing."""
        self._call(self._lib.velk_delete_item, _name(record, "record name"), _name(item, "item name"))
