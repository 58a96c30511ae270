"""The exceptions of velklink, chosen by the library's result code."""

from __future__ import annotations

# The session interface's result codes (velk_result).
OK = 0
ERR_ARGUMENT = -1
ERR_PORT = -2
ERR_LINE = -3
ERR_NO_ANSWER = -4
ERR_TIMEOUT = -5
ERR_REFUSED = -6
ERR_PROTOCOL = -7
ERR_RECORD = -8
ERR_CANCELLED = -9
ERR_BUSY = -10


class Error(Exception):
    """A failure reported by the library, with the library's own message.

    Attributes:
        message: the library's text, with its cause.
        code: the library's result code (a negative VELK_ERR_* number).
    """

    def __init__(self, message: str, code: int = ERR_PROTOCOL):
        super().__init__(message)
        self.message = message
        self.code = code


class PortError(Error):
    """The port cannot be opened, or the line went away during an exchange."""


class NoAnswer(Error):
    """The decoder did not answer, or stopped answering."""


class Refused(Error):
    """The decoder refused the request (NACK)."""


class RecordError(Error):
    """A record or item is missing, duplicate or incoherent, or no record slot
    or room is left for it."""


class Cancelled(Error):
    """The call was cancelled."""


_KINDS = {
    ERR_PORT: PortError,
    ERR_LINE: PortError,
    ERR_NO_ANSWER: NoAnswer,
    ERR_TIMEOUT: NoAnswer,
    ERR_REFUSED: Refused,
    ERR_RECORD: RecordError,
    ERR_CANCELLED: Cancelled,
}


def from_result(code: int, message: str) -> BaseException:
    """The exception for a result code other than OK."""
    if code == ERR_ARGUMENT:
        return ValueError(message)
    if code == ERR_BUSY:
        return RuntimeError(message or "another call on this Decoder has not ended")
    return _KINDS.get(code, Error)(message, code)
