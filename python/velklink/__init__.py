"""velklink: the decoder's serial protocol from Python, over the installed library.

    import velklink

    print(velklink.version(), velklink.ports())
    with velklink.Decoder("/dev/ttyUSB0") as dec:
        print(dec.sync())
        head = dec.read_flash(0x34020000, 80)
        for record in dec.records():
            print(record.name, [item.name for item in record.items])
        ini = dec.get("pictures", "ini")

Failures raise velklink.Error or one of its kinds: PortError, NoAnswer,
Refused, RecordError, each with the library's own message. The protocol's log
lines go to the loggers "velklink.link" and "velklink.transfer" at level DEBUG.

The library is libvelklink.so.1 (velklink.dll on Windows): the one installed
beside this package, else the one the system's loader finds; the environment
variable VELK_LIB names another file.
"""

from ._decoder import Decoder, Progress, ports, version
from ._errors import Error, NoAnswer, PortError, RecordError, Refused
from ._records import Item, Record

# The public names are velklink's, wherever they are defined.
for _name in ("Decoder", "Error", "Item", "NoAnswer", "PortError", "Record", "RecordError", "Refused"):
    globals()[_name].__module__ = __name__
del _name

__all__ = [
    "Decoder",
    "Error",
    "Item",
    "NoAnswer",
    "PortError",
    "Progress",
    "Record",
    "RecordError",
    "Refused",
    "ports",
    "version",
]
