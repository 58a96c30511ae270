"""velklink: the decoder's serial protocol from Python, over the installed library.

    import velklink

    print(velklink.version())
    for port in velklink.ports():
        print(port.device, port.serial, port.vid, port.pid, port.by_id)
    with velklink.Decoder("/dev/ttyUSB0") as dec:
        print(dec.sync())
        head = dec.read_flash(0x34020000, 80)
        for record in dec.records():
            print(record.name, [item.name for item in record.items])
        ini = dec.get("pictures", "ini")

velklink.ports() lists the machine's serial ports, each a Port with its USB
identity where it has one (serial number, vendor and product IDs, maker,
product, stable by-id name, driver, latency timer); velklink.find(serial=...,
vid=..., pid=...) gives the device names of the ports whose adapter matches,
so a script names an adapter, not a /dev/ttyUSB number that changes with every
plug-in:

    with velklink.Decoder(velklink.find(serial="A10K3XYZ")[0]) as dec: ...

Each Decoder is a session of the library: several may be open at once, on
different threads. Failures raise velklink.Error or one of its kinds (PortError,
NoAnswer, Refused, RecordError, Cancelled), chosen by the library's result code
and carrying its message; what the library refuses as an argument raises
ValueError. A Decoder's log lines go to the loggers "velklink.link.<port>",
"velklink.transfer.<port>" and "velklink.session.<port>" at level DEBUG.

The library is libvelklink.so.1 (velklink.dll on Windows): the one in this
package's own folder (a Windows wheel carries it), else the one installed beside
this package, else the one the system's loader finds; the environment variable
VELK_LIB names another file.
"""

from ._decoder import Decoder, Progress, version
from ._errors import Cancelled, Error, NoAnswer, PortError, RecordError, Refused
from ._ports import Port, find, ports
from ._records import Item, Record

# The public names are velklink's, wherever they are defined.
for _name in ("Cancelled", "Decoder", "Error", "Item", "NoAnswer", "Port", "PortError", "Record", "RecordError",
              "Refused"):
    globals()[_name].__module__ = __name__
del _name

__all__ = [
    "Cancelled",
    "Decoder",
    "Error",
    "Item",
    "NoAnswer",
    "Port",
    "PortError",
    "Progress",
    "Record",
    "RecordError",
    "Refused",
    "find",
    "ports",
    "version",
]
