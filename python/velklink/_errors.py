"""The exceptions of velklink, and which one a failure of the library is.

The library tells a failure in three ways: the text of its error box (which
this package receives through the error callback), the transfer engine's error
number after an exchange, and the transfer log's last line, which names how an
exchange ended when no error box is shown.
"""

from __future__ import annotations

from typing import Optional, Sequence

# The transfer engine's error numbers (HLPGetError).
ERROR_NONE = 0
ERROR_LINK_TIMEOUT = 1
ERROR_LINK = 2
ERROR_INVALID_PACKET = 3
ERROR_UNEXPECTED_PACKET = 4
ERROR_WRITE_REFUSED = 5
ERROR_READ_REFUSED = 6


class Error(Exception):
    """A failure reported by the library, with the library's own message.

    Attributes:
        message: the library's text (the error box, or the transfer log's line
            telling how the exchange ended), decoded from Windows-1252.
        error: the transfer engine's error number after the exchange
            (1 time-out, 2 link failure, 3 invalid answer, 4 unexpected answer,
            5 write refused, 6 read refused), or None when no exchange ran.
        messages: every error box text of the call, in order.
    """

    def __init__(self, message: str, error: Optional[int] = None, messages: Sequence[str] = ()):
        super().__init__(message)
        self.message = message
        self.error = error
        self.messages = tuple(messages) or (message,)


class PortError(Error):
    """The port cannot be opened, or it failed during an exchange."""


class NoAnswer(Error):
    """The decoder did not answer in time."""


class Refused(Error):
    """The decoder refused the request (NACK)."""


class RecordError(Error):
    """A record or item is missing, duplicate or incoherent, or no record slot
    or room is left for it."""


# Beginnings of the record store's messages about records and items.
_RECORD_TEXTS = (
    "Record non trovato",
    "Record duplicato",
    "Record non coerente",
    "Record vuoto non disponibile",
    "Record non valido",
    "File non trovato",
    "File duplicato",
    "File non coerente",
    "Spazio su record insufficiente",
    "Tabella di allocazione file piena",
    "Indice elemento non valido",
    "Indice records non valido",
    "Lunghezza record non valida",
    "Numero elementi record non valido",
    "Dimensione dati non valida",
)

# Beginnings of the serial port's messages: its open and close, and its own
# table of errors (English, as the port component always wrote them).
_PORT_TEXTS = (
    "Errore connettendo la porta",
    "Errore disconnettendo la porta",
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "WaitForEvent method failed",
    "EnumPorts function failed",
    "Registry error",
)


def is_port_text(text: str) -> bool:
    return text.startswith(_PORT_TEXTS)


def classify(messages: Sequence[str], error: Optional[int] = None, fallback: str = "") -> Error:
    """The exception for a failed call.

    messages: the error box texts of the call; error: the engine's error number
    when the call ran an exchange that failed; fallback: the text to carry when
    no error box came (the transfer log's last line)."""
    message = messages[-1] if messages else fallback or "the library reported a failure"
    if any(text.startswith(_RECORD_TEXTS) for text in messages):
        return RecordError(next(t for t in messages if t.startswith(_RECORD_TEXTS)), error, messages)
    if any(is_port_text(text) for text in messages):
        return PortError(next(t for t in messages if is_port_text(t)), error, messages)
    if error == ERROR_LINK_TIMEOUT:
        return NoAnswer(message, error, messages)
    if error in (ERROR_WRITE_REFUSED, ERROR_READ_REFUSED):
        return Refused(message, error, messages)
    return Error(message, error, messages)
