"""The velklink package against velksim: every method, the exceptions from real
causes, progress, logs, several decoders on threads, Ctrl-C, the installed
package and its wheel."""

import json
import logging
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import velklink

AREA = 0x34020000
SLOT = 0x10000


def slot_bytes(sim, slot, offset, length):
    start = slot * SLOT + offset
    return sim.file("flash.bin")[start:start + length]


def test_version():
    assert velklink.version() == "Velkora Library 1.4"


def test_ports_are_what_velkctl_lists():
    """ports() gives the machine's ports with the identities `velkctl ports
    --json` shows, both from the library's listing."""
    listed = json.loads(subprocess.run([os.environ["VELKCTL"], "ports", "--json"], check=True,
                                       capture_output=True, text=True).stdout)

    def usb_id(text):
        return int(text, 16) if text is not None else None

    expected = [velklink.Port(device=p["device"], by_id=p["by_id"], serial=p["serial"], vid=usb_id(p["vendor_id"]),
                              pid=usb_id(p["product_id"]), manufacturer=p["manufacturer"], product=p["product"],
                              driver=p["driver"], latency_ms=p["latency_timer_ms"]) for p in listed]
    got = velklink.ports()
    assert got == expected
    assert all(isinstance(port, velklink.Port) and str(port) == port.device for port in got)


def test_find_filters_by_usb_identity(monkeypatch):
    listing = [
        velklink.Port("/dev/ttyS1", driver="serial8250"),
        velklink.Port("/dev/ttyUSB0", serial="A10K3XYZ", vid=0x0403, pid=0x6001),
        velklink.Port("/dev/ttyUSB1", serial="B20L4ABC", vid=0x0403, pid=0x6001),
        velklink.Port("/dev/ttyUSB2", vid=0x1A86, pid=0x7523),
        velklink.Port("/dev/ttyACM0", serial="85735313", vid=0x2341, pid=0x0043),
    ]
    monkeypatch.setattr(velklink._ports, "ports", lambda: listing)
    cases = [
        ({}, ["/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyACM0"]),
        ({"serial": "A10K3XYZ"}, ["/dev/ttyUSB0"]),
        ({"serial": "a10k3xyz"}, []),  # serial numbers compared exactly
        ({"vid": 0x0403}, ["/dev/ttyUSB0", "/dev/ttyUSB1"]),
        ({"vid": "0403", "pid": "6001"}, ["/dev/ttyUSB0", "/dev/ttyUSB1"]),
        ({"vid": "1a86", "pid": "7523"}, ["/dev/ttyUSB2"]),
        ({"vid": "1A86", "pid": 0x7523}, ["/dev/ttyUSB2"]),
        ({"vid": 0x0403, "pid": 0x6001, "serial": "B20L4ABC"}, ["/dev/ttyUSB1"]),
        ({"pid": "0043"}, ["/dev/ttyACM0"]),
        ({"vid": 0x0403, "serial": "85735313"}, []),
    ]
    for given, devices in cases:
        assert velklink.find(**given) == devices, given
    for bad, error in [({"vid": "403"}, ValueError), ({"vid": "04G3"}, ValueError), ({"pid": 0x10000}, ValueError),
                       ({"vid": -1}, ValueError), ({"vid": 4.0}, TypeError), ({"pid": True}, TypeError)]:
        with pytest.raises(error):
            velklink.find(**bad)


def test_every_method_against_the_simulators_memory(sim):
    with velklink.Decoder(sim.line) as dec:
        assert dec.sync() == "Decoder sincronizzato."
        assert dec.sync() == "Decoder gi\u00e0 sincronizzato."
        assert dec.read_flash(AREA, 80) == slot_bytes(sim, 0, 0, 80)

        data = bytes(range(256)) * 20
        dec.write_flash(AREA + 3 * SLOT, bytearray(data))
        assert slot_bytes(sim, 3, 0, len(data)) == data
        assert dec.read_flash(AREA + 3 * SLOT, len(data)) == data

        dec.write_eeprom(0x10, b"\x01\x02")
        assert sim.file("eeprom.bin")[0x10:0x12] == b"\x01\x02"
        assert dec.read_eeprom(0, 8192) == sim.file("eeprom.bin")

        dec.upload_firmware(memoryview(b"FW" * 3000))
        assert sim.file("firmware.bin") == b"FW" * 3000

        settings = dec.get("SET", "SET")
        assert settings and settings in sim.file("flash.bin")[:SLOT]
        dec.put("pictures", "ini", b"\x07" * 64)
        dec.put("pictures", "empty", b"")
        assert dec.get("pictures", "ini") == b"\x07" * 64
        dec.refresh(full=True)
        assert dec.get("pictures", "empty") == b""

        records = {record.name: record for record in dec.records()}
        assert records["SET"].slot == 0 and records["SET"].items == [velklink.Item("SET", len(settings))]
        pictures = records["pictures"]
        assert pictures.admitted and pictures.address == AREA + SLOT * pictures.slot
        assert pictures.items == [velklink.Item("ini", 64), velklink.Item("empty", 0)]
        assert pictures.free == 65460 - (4 + 2 * 20 + 64)
        # The item's bytes are where the record's table puts them.
        assert slot_bytes(sim, pictures.slot, 76 + 4 + 40, 64) == b"\x07" * 64
    assert not dec.is_open


# The library's result codes: REFUSED -6, NO_ANSWER -4, RECORD -8, LINE -3.
@pytest.mark.parametrize("options, call, kind, message, code", [
    pytest.param(["--refuse-reads", "1"], lambda d: d.read_flash(AREA, 80), velklink.Refused,
                 "Richiesta lettura rifiutata.", -6, id="read refused"),
    pytest.param(["--refuse-writes", "1"], lambda d: d.write_flash(AREA + SLOT, b"x" * 100), velklink.Refused,
                 "Scrittura fallita.", -6, id="write refused"),
    pytest.param(["--refuse-reads", "1"], lambda d: d.refresh(), velklink.Refused,
                 "Errore leggendo il record all'indirizzo: 0x34020000.", -6, id="refresh refused"),
    pytest.param(["--stop-after", "0"], lambda d: d.sync(), velklink.NoAnswer,
                 "Timeout nel protocollo a basso livello.", -4, id="no answer"),
    pytest.param([], lambda d: d.get("SET", "nope"), velklink.RecordError, "File non trovato: nope.", -8,
                 id="missing item"),
    pytest.param([], lambda d: d.get("nothing", "SET"), velklink.RecordError, "Record non trovato: nothing.", -8,
                 id="missing record"),
    pytest.param(["--hang-up-after", "3000"], lambda d: d.read_flash(AREA, 65536), velklink.PortError, "", -3,
                 id="line hung up"),
])
def test_exceptions_from_real_causes(simulator, options, call, kind, message, code):
    sim = simulator(*options)
    with velklink.Decoder(sim.line) as dec:
        with pytest.raises(kind) as raised:
            call(dec)
    assert isinstance(raised.value, velklink.Error)
    assert raised.value.message.startswith(message) and str(raised.value) == raised.value.message
    assert raised.value.code == code


def test_a_port_that_is_not_there(sim, tmp_path):
    with pytest.raises(velklink.PortError, match="^Errore connettendo la porta .*none"):
        velklink.Decoder(str(tmp_path / "none"))
    with velklink.Decoder(sim.line) as dec:  # the failed open left nothing behind
        assert dec.sync()


@pytest.mark.parametrize("call, kind", [
    (lambda d: d.get("pict\u2713", "ini"), ValueError),  # not Windows-1252
    (lambda d: d.get("pictures9", "ini"), ValueError),  # 9 characters, cut to 8 by the store
    (lambda d: d.put("pictures", "x" * 13, b""), ValueError),
    (lambda d: d.put("pic\ttures", "ini", b""), ValueError),
    (lambda d: d.put("pictures", "ini", "text"), TypeError),
    (lambda d: d.put("pictures", "ini", bytes(65437)), ValueError),
    (lambda d: d.write_flash(AREA, [1, 2]), TypeError),
    (lambda d: d.write_flash(-1, b"x"), ValueError),
    (lambda d: d.write_flash(AREA, b""), ValueError),
    (lambda d: d.read_flash(AREA, 0), ValueError),
    (lambda d: d.read_eeprom(8000, 193), ValueError),
    (lambda d: d.write_eeprom(8191, b"ab"), ValueError),
])
def test_arguments_refused_before_anything_is_sent(sim, call, kind):
    with velklink.Decoder(sim.line) as dec:
        before = sim.file("flash.bin")
        with pytest.raises(kind):
            call(dec)
        assert sim.file("flash.bin") == before


def test_progress_counts_bytes_the_decoder_has(sim):
    with velklink.Decoder(sim.line) as dec:
        for operation in ("write", "read"):
            seen = []
            if operation == "write":
                dec.write_flash(AREA + SLOT, bytes(10240), progress=lambda d, t: seen.append((d, t)))
            else:
                dec.read_flash(AREA + SLOT, 10240, progress=lambda d, t: seen.append((d, t)))
            # 10,240 bytes and a 16-byte header in link packets of 2,032 bytes.
            assert seen == [(0, 10240), (2016, 10240), (4048, 10240), (6080, 10240), (8112, 10240),
                            (10144, 10240), (10240, 10240)]


def test_a_progress_callback_that_raises_ends_the_transfer(sim):
    before = slot_bytes(sim, 1, 0, 4096)

    def refuse(done, total):
        raise ValueError("stop here")

    with velklink.Decoder(sim.line) as dec:
        with pytest.raises(ValueError, match="stop here"):
            dec.write_flash(AREA + SLOT, b"\x01" * 4096, progress=refuse)
        assert slot_bytes(sim, 1, 0, 4096) == before
        assert dec.sync()  # the Decoder goes on


def test_logs_go_to_the_logging_module(sim, caplog, capfd):
    caplog.set_level(logging.DEBUG, logger="velklink")
    with velklink.Decoder(sim.line) as dec:
        dec.sync()
        with pytest.raises(velklink.RecordError):
            dec.get("SET", "nope")
    lines = {(r.name, r.levelno, r.getMessage()) for r in caplog.records}
    transfer, link = "velklink.transfer." + sim.line, "velklink.link." + sim.line
    assert (transfer, logging.DEBUG, "Decoder sincronizzato.") in lines
    assert (transfer, logging.DEBUG, "Stato: WAIT SYNC ACK -> IDLE.") in lines
    assert any(name == link and text.startswith("Pacchetto dati: <- ") for name, _, text in lines)
    assert capfd.readouterr().err == ""  # the error became the exception, nothing printed


def test_a_decoder_from_any_thread_one_call_at_a_time(sim):
    with velklink.Decoder(sim.line) as dec:
        with pytest.raises(velklink.PortError):  # the port is the first Decoder's
            velklink.Decoder(sim.line)
        outcome = []
        busy = []

        def elsewhere():
            outcome.append(dec.sync())

        def meanwhile(done, total):
            if not busy:
                try:
                    dec.sync()
                except RuntimeError as error:
                    busy.append(error)

        thread = threading.Thread(target=elsewhere)
        thread.start()
        thread.join()
        assert outcome == ["Decoder gi\u00e0 sincronizzato."] or outcome == ["Decoder sincronizzato."]
        dec.read_flash(AREA, 4096, progress=meanwhile)
        assert len(busy) == 1
    with pytest.raises(RuntimeError, match="closed"):
        dec.sync()


def test_two_decoders_on_two_threads(simulator):
    sims = [simulator(), simulator()]
    results = {}
    lines = {0: [], 1: []}

    class Lines(logging.Handler):
        def emit(self, record):
            for n, sim in enumerate(sims):
                if record.name.endswith(sim.line):
                    lines[n].append(threading.get_ident())

    handler = Lines()
    logging.getLogger("velklink").addHandler(handler)
    logging.getLogger("velklink").setLevel(logging.DEBUG)
    try:
        def work(n):
            data = bytes([n + 1]) * 65536
            seen = []
            with velklink.Decoder(sims[n].line) as dec:
                dec.write_flash(AREA + 2 * SLOT, data, progress=lambda d, t: seen.append(d))
                results[n] = (dec.read_flash(AREA + 2 * SLOT, 65536) == data, seen[-1])

        threads = [threading.Thread(target=work, args=(n,)) for n in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        logging.getLogger("velklink").removeHandler(handler)
        logging.getLogger("velklink").setLevel(logging.NOTSET)
    assert results == {0: (True, 65536), 1: (True, 65536)}
    assert lines[0] and lines[1]
    for n, sim in enumerate(sims):
        assert slot_bytes(sim, 2, 0, 65536) == bytes([n + 1]) * 65536


def test_a_dropped_decoder_is_closed(sim):
    dec = velklink.Decoder(sim.line)
    dec.sync()
    del dec
    with velklink.Decoder(sim.line) as again:  # the port is free again
        assert again.sync()


def test_damaged_records_show_as_damaged(sim):
    with velklink.Decoder(sim.line) as dec:
        # In use, named, with one item whose data offset breaks the entries' chain.
        head = bytearray(120)
        head[1] = 0x40
        head[64:70] = b"BROKEN"
        head[72:76] = (34).to_bytes(4, "big")
        head[76:80] = (1).to_bytes(4, "big")
        head[80:81] = b"X"
        head[92:96] = (999).to_bytes(4, "big")
        head[96:100] = (10).to_bytes(4, "big")
        dec.write_flash(AREA + 4 * SLOT, bytes(head))
        broken = [r for r in dec.records() if r.name == "BROKEN"]
        assert len(broken) == 1 and broken[0].damaged and broken[0].items == []


CTRL_C_CHILD = textwrap.dedent("""
    import fcntl, logging, os, sys, velklink
    dec = velklink.Decoder(sys.argv[1])
    def show(done, total):
        print("progress", done, flush=True)
    class WriteBegins(logging.Handler):
        def emit(self, record):
            if record.getMessage().startswith("Scrittura Flash"):
                show(0, 0)
    logging.getLogger("velklink.transfer").addHandler(WriteBegins())
    logging.getLogger("velklink.transfer").setLevel(logging.DEBUG)
    try:
        if sys.argv[2] == "read":
            dec.read_flash(0x34020000, 65536, progress=show)
        elif sys.argv[2] == "write":
            dec.write_flash(0x34030000, b"U" * 65536, progress=show)
        else:  # a new record: the first free slot, 0x34030000
            dec.put("big", "item", b"U" * 60000)
        print("finished", flush=True)
    except KeyboardInterrupt:
        # The library has let go of the port: its lock can be taken.
        fcntl.flock(os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK), fcntl.LOCK_EX | fcntl.LOCK_NB)
        print("interrupted", dec.is_open, flush=True)
        raise
""")


# Every call ends within 1 s, a record function's included.
@pytest.mark.parametrize("operation, begun, bound", [("read", 8000, 1.0), ("write", 8000, 1.0), ("put", 0, 1.0)])
def test_ctrl_c_ends_a_paced_transfer(simulator, tmp_path, operation, begun, bound):
    sim = simulator("--baud", "115200")
    slot_before = slot_bytes(sim, 1, 0, 65536)
    script = tmp_path / "child.py"
    script.write_text(CTRL_C_CHILD)
    child = subprocess.Popen([sys.executable, str(script), sim.line, operation], stdout=subprocess.PIPE, text=True,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    reported = -1
    while reported < begun:  # a few link packets into the 5.7 s transfer
        line = child.stdout.readline()
        assert line.startswith("progress"), line
        reported = int(line.split()[1])
    if operation == "put":
        time.sleep(1.0)
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    rest = [child.stdout.readline()]
    took = time.monotonic() - sent
    rest += child.stdout.readlines()
    assert child.wait(30) == -signal.SIGINT
    assert rest[-1] == "interrupted False\n" and took < bound
    assert all(int(line.split()[1]) < 65536 for line in rest[:-1])
    # A write cut short left the flash as it was.
    assert slot_bytes(sim, 1, 0, 65536) == slot_before


# An installed package's first use, from outside the source tree: sync, 80
# bytes of the flash on standard output, and on standard error the module's
# file and the process's mapped files (which library was loaded).
INSTALLED_PROBE = textwrap.dedent("""
    import sys, velklink
    with velklink.Decoder(sys.argv[1]) as dec:
        dec.sync()
        sys.stdout.buffer.write(dec.read_flash(0x34020000, 80))
    print(velklink.__file__, file=sys.stderr)
    print(open("/proc/self/maps").read(), file=sys.stderr)
""")


def environment_without_the_build():
    """This process's environment without what points at the build's module and library."""
    return {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "VELK_LIB", "PYTHONPATH")}


def test_the_installed_package_from_a_temporary_prefix(sim, tmp_path):
    prefix = tmp_path / "prefix"
    build = os.environ["VELK_BUILD_DIR"]
    clean = environment_without_the_build()
    for component in ("library", "python"):
        subprocess.run(["cmake", "--install", build, "--prefix", str(prefix), "--component", component],
                       check=True, env=clean, stdout=subprocess.DEVNULL)
    packages = prefix / "lib/python3/dist-packages"
    assert (packages / "velklink/py.typed").exists()
    env = dict(clean, PYTHONPATH=str(packages))
    if "LD_PRELOAD" in os.environ:
        env["LD_PRELOAD"] = os.environ["LD_PRELOAD"]
    done = subprocess.run([sys.executable, "-c", INSTALLED_PROBE, sim.line], capture_output=True, env=env, cwd=tmp_path,
                          timeout=60)
    assert done.returncode == 0, done.stderr.decode()
    assert done.stdout == slot_bytes(sim, 0, 0, 80)
    where = done.stderr.decode()
    assert where.startswith(str(packages)) and str(prefix / "lib") + "/libvelklink.so" in where


def test_the_wheel_in_a_fresh_venv(sim, tmp_path):
    wheel = os.environ.get("VELK_WHEEL")
    if not wheel:
        pytest.skip("no wheel in this build (the CTest test python-wheel says why)")
    venv = tmp_path / "venv"
    clean = environment_without_the_build()
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True, env=clean)
    python = str(venv / "bin/python")
    subprocess.run([python, "-m", "pip", "install", "--no-deps", "--no-index", "--quiet", wheel], check=True,
                   env=clean, cwd=tmp_path)
    # The wheel has no library: the documented variable names the build's.
    env = dict(clean, VELK_LIB=os.environ["VELK_LIB"])
    if "LD_PRELOAD" in os.environ:
        env["LD_PRELOAD"] = os.environ["LD_PRELOAD"]
    done = subprocess.run([python, "-c", INSTALLED_PROBE, sim.line], capture_output=True, env=env, cwd=tmp_path, timeout=60)
    assert done.returncode == 0, done.stderr.decode()
    assert done.stdout == slot_bytes(sim, 0, 0, 80)
    where = done.stderr.decode()
    assert where.startswith(str(venv / "lib")) and os.path.realpath(os.environ["VELK_LIB"]) in where
    # A library in the package's own folder (where a Windows wheel has its DLL) comes first.
    package = pathlib.Path(where.splitlines()[0]).parent
    shutil.copy(os.environ["VELK_LIB"], package / "libvelklink.so.1")
    del env["VELK_LIB"]
    done = subprocess.run([python, "-c", INSTALLED_PROBE, sim.line], capture_output=True, env=env, cwd=tmp_path, timeout=60)
    assert done.returncode == 0, done.stderr.decode()
    assert done.stdout == slot_bytes(sim, 0, 0, 80) and str(package / "libvelklink.so.1") in done.stderr.decode()


@pytest.mark.parametrize("reserved, words, admitted", [
    (29, {0: 0x80, 28: 0xFF}, {0, 28}),  # slots 0..28 read words 0..28
    (0, {0: 0x80, 5: 0x7F}, {1}),  # slot 0 has no word, slot j reads word j - 1; bit 31 alone counts
    # 31 (upper bits unread), none reserved: slot 29 reads the word that holds the reserved byte itself
    (0x9F, {28: 0x80}, {28, 29}),
])
def test_the_eeprom_slot_table(sim, reserved, words, admitted):
    eeprom = bytearray(8192)
    for word, first in words.items():
        eeprom[0x108E + 4 * word] = first
    eeprom[0x1102] |= reserved
    with velklink.Decoder(sim.line) as dec:
        dec.write_eeprom(0, bytes(eeprom))
        for slot in range(30):  # an empty record in every slot
            head = bytearray(80)
            head[1] = 0x40
            head[64:68] = b"R%02d" % slot
            head[75] = 4
            dec.write_flash(AREA + slot * SLOT, bytes(head))
        assert {record.slot for record in dec.records() if record.admitted} == admitted
