"""Waiting for the library's messages without blocking Python's signal handling.

GetMessageHandle gives a descriptor (Linux) or an event handle (Windows) that
is ready while messages wait for the thread that opened the port. A wait
returns when it is ready or after at most the given time, so the caller can
look at its own flags (an interrupt) between rounds.
"""

from __future__ import annotations

import sys


if sys.platform == "win32":
    import ctypes

    _kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    _kernel32.WaitForSingleObject.restype = ctypes.c_uint32
    _kernel32.WaitForSingleObject.argtypes = [ctypes.c_void_p, ctypes.c_uint32]

    class MessageWaiter:
        """Waits on the library's event handle."""

        def __init__(self, handle: int):
            self._handle = ctypes.c_void_p(handle)

        def wait(self, seconds: float) -> None:
            # Short slices: Python runs a Ctrl-C handler only between them.
            _kernel32.WaitForSingleObject(self._handle, max(0, int(seconds * 1000)))

else:
    import select

    class MessageWaiter:  # type: ignore[no-redef]
        """Waits on the library's descriptor with poll; a signal ends the wait
        at once (its Python handler runs before poll is resumed)."""

        def __init__(self, handle: int):
            self._poll = select.poll()
            self._poll.register(handle, select.POLLIN)

        def wait(self, seconds: float) -> None:
            self._poll.poll(max(0, int(seconds * 1000)))
