"""The Decoder: one open port of the library, its exchanges and its records."""

from __future__ import annotations

import ctypes
import logging
import os
import signal
import threading
from contextlib import contextmanager
from typing import Callable, Dict, Iterator, List, Optional, Union

from . import _errors, _records
from ._library import ErrorCallback, EventCallback, IdleCallback, LogCallback, library
from ._records import Record
from ._text import ITEM_NAME_WIDTH, RECORD_NAME_WIDTH, decode, port_name, stored_name
from ._wait import MessageWaiter

__all__ = ["Decoder", "Progress", "ports", "version"]

Progress = Callable[[int, int], None]
"""A progress callback: progress(done, total), both in bytes of the caller's data."""

BytesLike = Union[bytes, bytearray, memoryview]

_LINK_LOG = logging.getLogger("velklink.link")
_TRANSFER_LOG = logging.getLogger("velklink.transfer")
_LOG = logging.getLogger("velklink")

_STATE_NOT_CONNECTED = 0
_STATE_IDLE = 3
_EVENT_READ_PACKET = 11
_EVENT_READ_START = 12
_EVENT_WRITE_PACKET = 14
_EVENT_WRITE_START = 15

# A transfer packet's header precedes the data in its link packets.
_PAYLOAD = 2032
_HEADER = 16
_MAX_TRANSFER = 0x7FFFF0
# How long a wait for the library's messages lasts before the flags (an
# interrupt) are looked at again.
_WAIT_SLICE = 0.05

_slot_lock = threading.Lock()
_active: Optional["Decoder"] = None
# The thread whose interrupted exchange the library still has to finalise.
_unfinished: Optional[int] = None
# Error box texts, collected per thread for the call that runs there.
_collectors: Dict[int, List[str]] = {}


def _on_error(text: bytes) -> None:
    message = decode(text or b"")
    collector = _collectors.get(threading.get_ident())
    if collector is not None:
        collector.append(message)
    else:
        _LOG.error("%s", message)


def _on_log(kind: int, text: bytes) -> None:
    decoder = _active
    try:
        if kind == 1:
            line = decode(text or b"")
            if decoder is not None:
                decoder._transfer_line(line)
            _TRANSFER_LOG.debug("%s", line)
        elif _LINK_LOG.isEnabledFor(logging.DEBUG):
            _LINK_LOG.debug("%s", decode(text or b""))
    except BaseException as error:  # a callback must not raise into the library
        if decoder is not None:
            decoder._callback_failed(error)


def _on_event(code: int, value: int) -> None:
    decoder = _active
    if decoder is not None:
        try:
            decoder._event(code, value)
        except BaseException as error:
            decoder._callback_failed(error)


def _on_idle() -> None:
    decoder = _active
    if decoder is not None:
        decoder._idle()


# The library keeps these pointers process-wide: they live as long as the module.
_ERROR_CALLBACK = ErrorCallback(_on_error)
_LOG_CALLBACK = LogCallback(_on_log)
_EVENT_CALLBACK = EventCallback(_on_event)
_IDLE_CALLBACK = IdleCallback(_on_idle)
_installed = False


def _library() -> ctypes.CDLL:
    """The library with this module's error box and idle callback installed:
    errors become exceptions, nothing is printed."""
    global _installed
    lib = library()
    with _slot_lock:
        if not _installed:
            lib.SetErrorEvent(_ERROR_CALLBACK)
            lib.SetIdleEvent(_IDLE_CALLBACK)
            _installed = True
    return lib


@contextmanager
def _collecting() -> Iterator[List[str]]:
    """The error box texts of the calls made inside, on this thread."""
    key = threading.get_ident()
    outer = _collectors.get(key)
    seen: List[str] = []
    _collectors[key] = seen
    try:
        yield seen
    finally:
        if outer is None:
            del _collectors[key]
        else:
            outer.extend(seen)
            _collectors[key] = outer


def _finish_interrupted(lib: ctypes.CDLL) -> None:
    """Finalises the library after an interrupted exchange, on its thread."""
    global _unfinished
    lib.Finalize()
    _unfinished = None


def version() -> str:
    """The library's version text, for example "Velkora Library 1.4"."""
    lib = _library()
    buffer = ctypes.create_string_buffer(lib.GetVersion(None) + 1)
    length = lib.GetVersion(buffer)
    return decode(buffer.raw[:length])


def ports() -> List[str]:
    """The machine's serial ports, sorted ignoring case (device paths on
    Linux, COMn on Windows). Raises PortError when the system's list cannot
    be read."""
    lib = _library()
    names = []
    with _collecting() as seen:
        count = lib.GetComPort(-1, None)
        for index in range(max(count, 0)):
            length = lib.GetComPort(index, None)
            if length < 0:
                break
            buffer = ctypes.create_string_buffer(length + 2)
            lib.GetComPort(index, buffer)
            names.append(decode(buffer.raw[:length].rstrip(b"\0")))
    if seen:
        raise _errors.classify(seen)
    return names


def _check_address(address: int) -> int:
    if not isinstance(address, int) or isinstance(address, bool):
        raise TypeError(f"address must be int, not {type(address).__name__}")
    if not 0 <= address <= 0xFFFFFFFF:
        raise ValueError(f"address {address:#x} is not a 32-bit address")
    return address


def _check_length(length: int, limit: int, what: str) -> int:
    if not isinstance(length, int) or isinstance(length, bool):
        raise TypeError(f"{what} must be int, not {type(length).__name__}")
    if not 1 <= length <= limit:
        raise ValueError(f"{what} {length} is not within 1 to {limit} bytes")
    return length


def _data(data: BytesLike, what: str = "data") -> bytes:
    if isinstance(data, str):
        raise TypeError(f"{what} must be bytes-like, not str (encode it first)")
    try:
        return bytes(memoryview(data))
    except TypeError:
        raise TypeError(f"{what} must be bytes-like, not {type(data).__name__}") from None


def _check_eeprom(address: int, length: int) -> None:
    if address + length > _records.EEPROM_SIZE:
        raise ValueError(
            f"EEPROM {address:#06x} + {length} bytes: the EEPROM holds {_records.EEPROM_SIZE} bytes "
            f"(0x0000 to {_records.EEPROM_SIZE - 1:#06x})"
        )


class Decoder:
    """A decoder on a serial port, through the library.

    Opening a Decoder initialises the library and opens the port; close() (or
    the end of a with block) closes the port and finalises the library::

        with velklink.Decoder("/dev/ttyUSB0") as dec:
            print(dec.sync())
            head = dec.read_flash(0x34020000, 80)

    The port name is a device path, "COMn" (on Linux /dev/ttyS<n-1>) or a name
    under /dev.

    The library is one instance per process: one Decoder is open at a time,
    and every call is made on the thread that opened it (RuntimeError
    otherwise). Failures raise Error or one of its kinds (PortError, NoAnswer,
    Refused, RecordError) with the library's message; arguments the decoder
    cannot take raise TypeError or ValueError before anything is sent.

    Ctrl-C during an exchange (on the main thread, with Python's default
    handler) closes the port at once, so the decoder gets nothing more, and
    raises KeyboardInterrupt; the Decoder is closed then, and nothing is
    reported as done that the decoder did not acknowledge. The library itself
    is finalised by the next Decoder (or at the process's end), which waits
    for the link time-out that was counting to end (at most 10 s). During
    get(), put() and refresh() the library's own wait holds the thread: the
    port closes at once, the exception comes when that wait ends.
    """

    def __init__(self, port: Union[str, bytes, os.PathLike]) -> None:
        global _active
        raw = port_name(port)
        self.port = port if isinstance(port, str) else decode(raw)
        self._lib: Optional[ctypes.CDLL] = None
        self._owner = threading.get_ident()
        self._directory_fresh = False
        self._interrupted = False
        self._port_closed_by_interrupt = False
        self._failure: Optional[BaseException] = None
        self._progress: Optional[Progress] = None
        self._total = 0
        self._packets = 0
        self._last_line = ""
        lib = _library()
        with _slot_lock:
            if _active is not None:
                raise RuntimeError(
                    f"a Decoder is already open on {_active.port}: the library is one instance per process"
                )
            if _unfinished not in (None, self._owner):
                raise RuntimeError(
                    "the library still holds an interrupted exchange of another thread: "
                    "open the next Decoder on that thread"
                )
            _active = self
        try:
            if _unfinished is not None:
                _finish_interrupted(lib)
            lib.Initialize()
            self._lib = lib
            lib.HLPSetEvent(_EVENT_CALLBACK)
            lib.SetLogEvent(_LOG_CALLBACK)
            with _collecting() as seen:
                opened = lib.OpenComPort(raw)
            if not opened:
                raise _errors.classify(seen, fallback=f"the port {self.port} did not open")
            self._waiter = MessageWaiter(lib.GetMessageHandle())
        except BaseException:
            self._release()
            raise

    # -- lifecycle ---------------------------------------------------------

    def __enter__(self) -> Decoder:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<velklink.Decoder {self.port!r} {'open' if self.is_open else 'closed'}>"

    @property
    def is_open(self) -> bool:
        """Whether the port is open (False after close() or an interrupt)."""
        return self._lib is not None

    def close(self) -> None:
        """Closes the port and finalises the library. Closing twice does nothing."""
        if self._lib is None:
            return
        self._check_thread()
        with _collecting() as seen:
            closed = self._lib.CloseComPort()
            self._release()
        if not closed:
            raise _errors.classify(seen, fallback=f"the port {self.port} did not close")

    def _release(self) -> None:
        """Finalises the library (which closes the port) and frees the process's slot."""
        global _active
        if self._lib is not None:
            self._lib.Finalize()
            self._lib = None
        with _slot_lock:
            if _active is self:
                _active = None

    def _abort(self) -> None:
        """Ends a running exchange at once: the port closes, so the decoder gets
        nothing more. The library is finalised later (the next Decoder, or the
        process's end): its engines go only once the countdown of the link's
        time-out that runs now has ended, up to 10 s."""
        global _active, _unfinished
        if self._lib is None:
            return
        with _collecting():
            if not self._port_closed_by_interrupt:
                self._lib.CloseComPort()
        self._lib = None
        with _slot_lock:
            _unfinished = self._owner
            if _active is self:
                _active = None

    def _check_thread(self) -> None:
        if threading.get_ident() != self._owner:
            raise RuntimeError(
                "the Decoder is used on a thread other than the one that opened it: "
                "the library works only on that thread"
            )

    def _check(self) -> ctypes.CDLL:
        if self._lib is None:
            raise RuntimeError(f"the Decoder on {self.port} is closed")
        self._check_thread()
        return self._lib

    # -- callbacks (on the owning thread, inside the library's calls) -------

    def _transfer_line(self, line: str) -> None:
        # The line that tells how an exchange ended, not a state change or banner.
        if line and not line.startswith(("Stato:", "=")):
            self._last_line = line

    def _event(self, code: int, value: int) -> None:
        if code in (_EVENT_READ_START, _EVENT_WRITE_START):
            self._packets = value
            done = 0
        elif code in (_EVENT_READ_PACKET, _EVENT_WRITE_PACKET):
            # Bytes of the caller's data in the packets acknowledged (a write)
            # or received (a read) so far: never more than the decoder has.
            done = self._total if value >= self._packets else value * _PAYLOAD - _HEADER
        else:
            return
        if self._progress is not None and self._total > 0:
            self._progress(min(max(done, 0), self._total), self._total)

    def _callback_failed(self, error: BaseException) -> None:
        if self._failure is None:
            self._failure = error

    def _idle(self) -> None:
        # Called by the library's own wait between rounds, where no handler
        # runs: the one safe place to close the port under it.
        if self._interrupted and not self._port_closed_by_interrupt and self._lib is not None:
            self._port_closed_by_interrupt = True
            with _collecting():
                self._lib.CloseComPort()

    @contextmanager
    def _interruptible(self) -> Iterator[None]:
        """Ctrl-C sets a flag instead of raising inside the library's callbacks,
        where the exception would be lost; the waits look at the flag."""
        self._interrupted = False
        self._port_closed_by_interrupt = False
        self._failure = None
        replaced = None
        if threading.current_thread() is threading.main_thread():
            if signal.getsignal(signal.SIGINT) is signal.default_int_handler:

                def interrupted(signum: int, frame: object) -> None:
                    self._interrupted = True

                replaced = signal.signal(signal.SIGINT, interrupted)
        try:
            yield
        except BaseException:
            if self._lib is not None and self._lib.HLPGetState() not in (_STATE_NOT_CONNECTED, _STATE_IDLE):
                self._abort()
            raise
        finally:
            if replaced is not None:
                signal.signal(signal.SIGINT, replaced)
        if self._interrupted:
            raise KeyboardInterrupt

    # -- exchanges -----------------------------------------------------------

    def _exchange(self, start: Callable[..., int], *arguments: object, total: int = 0,
                  progress: Optional[Progress] = None) -> None:
        """Starts an exchange and handles the library's messages until it ends."""
        lib = self._check()
        self._progress = progress
        self._total = total
        self._packets = 0
        self._last_line = ""
        with self._interruptible(), _collecting() as seen:
            if not start(*arguments):
                raise _errors.classify(seen)
            while True:
                lib.ProcessMessages()
                if self._failure is not None:
                    raise self._failure
                if self._interrupted:
                    raise KeyboardInterrupt
                if lib.HLPGetState() in (_STATE_NOT_CONNECTED, _STATE_IDLE):
                    break
                self._waiter.wait(_WAIT_SLICE)
            error = lib.HLPGetError()
            if error != _errors.ERROR_NONE:
                raise _errors.classify(seen, error, fallback=self._last_line)
            for message in seen:  # reported along an exchange that still ended well
                _LOG.warning("%s", message)

    def _read(self, start: Callable[..., int], address: int, length: int, progress: Optional[Progress]) -> bytes:
        self._exchange(start, address, length, total=length, progress=progress)
        lib = self._check()
        size = lib.HLPGetBuffer(None)
        buffer = ctypes.create_string_buffer(max(size, 1))
        lib.HLPGetBuffer(buffer)
        if size != length:
            raise _errors.Error(f"The decoder answered with {size} bytes instead of {length}.")
        return buffer.raw[:size]

    def sync(self) -> str:
        """Synchronises with the decoder; returns its answer: "Decoder
        sincronizzato." or, when it already was, "Decoder già sincronizzato."."""
        self._exchange(self._check().HLPSendSync)
        return self._last_line

    def read_flash(self, address: int, length: int, progress: Optional[Progress] = None) -> bytes:
        """Reads length bytes of flash from address (the decoder reads its
        record area, 0x34020000 to 0x341FFFFF, and refuses the rest).
        progress(done, total) is called as the bytes arrive."""
        lib = self._check()
        return self._read(lib.HLPReadFlash, _check_address(address),
                          _check_length(length, _MAX_TRANSFER, "length"), progress)

    def read_eeprom(self, address: int, length: int, progress: Optional[Progress] = None) -> bytes:
        """Reads length bytes of the 8 KiB EEPROM from address."""
        lib = self._check()
        _check_address(address)
        _check_length(length, _records.EEPROM_SIZE, "length")
        _check_eeprom(address, length)
        return self._read(lib.HLPReadEeprom, address, length, progress)

    def write_flash(self, address: int, data: BytesLike, progress: Optional[Progress] = None) -> None:
        """Writes data into flash at address (the decoder writes from the start
        of a record slot, at most 65,536 bytes). progress(done, total) counts
        the bytes the decoder has acknowledged."""
        lib = self._check()
        payload = _data(data)
        _check_address(address)
        _check_length(len(payload), _MAX_TRANSFER, "data length")
        self._directory_fresh = False
        self._exchange(lib.HLPSendFlash, payload, address, len(payload), total=len(payload), progress=progress)

    def write_eeprom(self, address: int, data: BytesLike, progress: Optional[Progress] = None) -> None:
        """Writes data into the EEPROM at address."""
        lib = self._check()
        payload = _data(data)
        _check_address(address)
        _check_length(len(payload), _records.EEPROM_SIZE, "data length")
        _check_eeprom(address, len(payload))
        self._directory_fresh = False  # the EEPROM holds the record slot table
        self._exchange(lib.HLPSendEeprom, payload, address, len(payload), total=len(payload), progress=progress)

    def upload_firmware(self, image: BytesLike, progress: Optional[Progress] = None) -> None:
        """Uploads a firmware image."""
        lib = self._check()
        payload = _data(image, "image")
        _check_length(len(payload), _MAX_TRANSFER, "image length")
        self._directory_fresh = False
        self._exchange(lib.HLPSendFirmware, payload, len(payload), total=len(payload), progress=progress)

    # -- records -------------------------------------------------------------

    def records(self) -> List[Record]:
        """The records the decoder holds, slot by slot: each with its items
        (name and size), whether the EEPROM's slot table admits its slot (only
        admitted records are found by name) and the bytes free in the slot.
        Reads every slot's header and item table and the EEPROM."""
        self._check()
        found = []
        heads = []
        for slot in range(_records.SLOT_COUNT):
            address = _records.slot_address(slot)
            head = self.read_flash(address, _records.HEAD_READ)
            length = _records.body_read_length(head)
            table = self.read_flash(address + _records.HEADER_SIZE, length) if length else b""
            heads.append((slot, head, table))
        admitted = _records.admitted_slots(self.read_eeprom(0, _records.EEPROM_SIZE))
        for slot, head, table in heads:
            record = _records.parse_record(slot, head, table, admitted[slot])
            if record is not None:
                found.append(record)
        return found

    def _record_call(self, function: Callable[..., int], *arguments: object) -> None:
        """Runs a record function, which waits inside the library."""
        self._check()
        with self._interruptible(), _collecting() as seen:
            done = function(*arguments)
            if self._interrupted:
                # The library's wait has ended: nothing runs that Finalize would wait for.
                with _collecting():
                    self._release()
                raise KeyboardInterrupt
            if not done:
                raise _errors.classify(seen, self._lib.HLPGetError(), fallback=self._last_line)

    def refresh(self, full: bool = False) -> None:
        """Reads the record directory again (get and put do it once by
        themselves); needed only when someone else changed the decoder's
        records. full=True reads every record whole instead of just the item
        tables, so later gets read nothing more."""
        lib = self._check()
        self._directory_fresh = False
        self._record_call(lib.RECRefresh, 1 if full else 0)
        self._directory_fresh = True

    def _directory(self) -> ctypes.CDLL:
        lib = self._check()
        if not self._directory_fresh:
            self.refresh()
        return lib

    def get(self, record: str, item: str) -> bytes:
        """The bytes of item of record. Raises RecordError when the record or
        the item is missing or duplicate."""
        record_name = stored_name(record, "record name", RECORD_NAME_WIDTH)
        item_name = stored_name(item, "item name", ITEM_NAME_WIDTH)
        lib = self._directory()
        self._record_call(lib.RECLoadItem, record_name, item_name)
        size = lib.RECGetBuffer(None)
        buffer = ctypes.create_string_buffer(max(size, 1))
        lib.RECGetBuffer(buffer)
        return buffer.raw[:size]

    def put(self, record: str, item: str, data: BytesLike) -> None:
        """Stores data as item of record, replacing an item of that name; a
        new record takes the first free slot. Raises RecordError when the
        record has no room left or no slot is free."""
        record_name = stored_name(record, "record name", RECORD_NAME_WIDTH)
        item_name = stored_name(item, "item name", ITEM_NAME_WIDTH)
        payload = _data(data)
        limit = _records.MAX_BODY - 4 - _records.ENTRY_SIZE
        if len(payload) > limit:
            raise ValueError(f"item of {len(payload)} bytes: a record holds at most {limit} bytes of one item")
        lib = self._directory()
        try:
            self._record_call(lib.RECSaveItem, record_name, item_name, payload, len(payload))
        except BaseException:
            # What the library keeps in memory after a failed save may differ
            # from the decoder's flash: read the directory again before the next.
            self._directory_fresh = False
            raise
