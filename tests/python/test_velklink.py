"""The velklink package against velksim: every method, the exceptions from real
causes, progress, logs, the library's rules, Ctrl-C and the installed package."""

import logging
import os
import pathlib
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


def test_version_and_ports():
    assert velklink.version() == "Velkora Library 1.4"
    assert all(isinstance(name, str) and name for name in velklink.ports())


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


def failing_call(case, dec):
    if case == "read":
        dec.read_flash(AREA, 80)
    elif case == "write":
        dec.write_flash(AREA + SLOT, b"x" * 100)
    elif case == "sync":
        dec.sync()
    elif case == "missing item":
        dec.get("SET", "nope")
    elif case == "missing record":
        dec.get("nothing", "SET")
    elif case == "refresh":
        dec.refresh()
    elif case == "long read":
        dec.read_flash(AREA, 65536)


@pytest.mark.parametrize("options, case, kind, message, error", [
    (["--refuse-reads", "1"], "read", velklink.Refused, "Richiesta lettura rifiutata.", 6),
    (["--refuse-writes", "1"], "write", velklink.Refused, "Scrittura fallita.", 5),
    (["--refuse-reads", "1"], "refresh", velklink.Refused, "Errore leggendo il record all'indirizzo: 0x34020000.", 6),
    (["--stop-after", "0"], "sync", velklink.NoAnswer, "Timeout nel protocollo a basso livello.", 1),
    ([], "missing item", velklink.RecordError, "File non trovato: nope.", None),
    ([], "missing record", velklink.RecordError, "Record non trovato: nothing.", None),
    (["--hang-up-after", "3000"], "long read", velklink.PortError, "", 2),
])
def test_exceptions_from_real_causes(simulator, options, case, kind, message, error):
    sim = simulator(*options)
    with velklink.Decoder(sim.line) as dec:
        with pytest.raises(kind) as raised:
            failing_call(case, dec)
    assert isinstance(raised.value, velklink.Error)
    assert raised.value.message.startswith(message) and str(raised.value) == raised.value.message
    if error is not None:
        assert raised.value.error == error


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
def test_arguments_checked_before_the_library(sim, call, kind):
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

    dec = velklink.Decoder(sim.line)
    with pytest.raises(ValueError, match="stop here"):
        dec.write_flash(AREA + SLOT, b"\x01" * 4096, progress=refuse)
    assert not dec.is_open and slot_bytes(sim, 1, 0, 4096) == before


def test_logs_go_to_the_logging_module(sim, caplog, capfd):
    caplog.set_level(logging.DEBUG, logger="velklink")
    with velklink.Decoder(sim.line) as dec:
        dec.sync()
        with pytest.raises(velklink.RecordError):
            dec.get("SET", "nope")
    lines = {(r.name, r.levelno, r.getMessage()) for r in caplog.records}
    assert ("velklink.transfer", logging.DEBUG, "Decoder sincronizzato.") in lines
    assert ("velklink.transfer", logging.DEBUG, "Stato: WAIT SYNC ACK -> IDLE.") in lines
    assert any(name == "velklink.link" and text.startswith("Pacchetto dati: <- ") for name, _, text in lines)
    assert capfd.readouterr().err == ""  # the error became the exception, nothing printed


def test_one_decoder_per_process_and_its_thread(sim):
    with velklink.Decoder(sim.line) as dec:
        with pytest.raises(RuntimeError, match="already open"):
            velklink.Decoder(sim.line)
        failures = []

        def elsewhere():
            try:
                dec.sync()
            except RuntimeError as error:
                failures.append(error)

        thread = threading.Thread(target=elsewhere)
        thread.start()
        thread.join()
        assert len(failures) == 1 and "thread" in str(failures[0])
        assert dec.sync()
    with pytest.raises(RuntimeError, match="closed"):
        dec.sync()


CTRL_C_CHILD = textwrap.dedent("""
    import fcntl, os, sys, velklink
    dec = velklink.Decoder(sys.argv[1])
    def show(done, total):
        print("progress", done, flush=True)
    try:
        if sys.argv[2] == "read":
            dec.read_flash(0x34020000, 65536, progress=show)
        else:
            dec.write_flash(0x34030000, b"U" * 65536, progress=show)
        print("finished", flush=True)
    except KeyboardInterrupt:
        # The library has let go of the port: its lock can be taken.
        fcntl.flock(os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK), fcntl.LOCK_EX | fcntl.LOCK_NB)
        print("interrupted", dec.is_open, flush=True)
        raise
""")


@pytest.mark.parametrize("operation", ["read", "write"])
def test_ctrl_c_ends_a_paced_transfer(simulator, tmp_path, operation):
    sim = simulator("--baud", "115200")
    slot_before = slot_bytes(sim, 1, 0, 65536)
    script = tmp_path / "child.py"
    script.write_text(CTRL_C_CHILD)
    child = subprocess.Popen([sys.executable, str(script), sim.line, operation], stdout=subprocess.PIPE, text=True,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    reported = 0
    while reported < 8000:  # a few link packets into the 5.7 s transfer
        line = child.stdout.readline()
        assert line.startswith("progress"), line
        reported = int(line.split()[1])
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    rest = [child.stdout.readline()]
    took = time.monotonic() - sent
    rest += child.stdout.readlines()
    assert child.wait(30) == -signal.SIGINT
    assert rest[-1] == "interrupted False\n" and took < 1.0
    assert all(int(line.split()[1]) < 65536 for line in rest[:-1])
    # A write cut short left the flash as it was.
    assert slot_bytes(sim, 1, 0, 65536) == slot_before


def test_the_installed_package_from_a_temporary_prefix(sim, tmp_path):
    prefix = tmp_path / "prefix"
    build = os.environ["VELK_BUILD_DIR"]
    clean = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "VELK_LIB", "PYTHONPATH")}
    for component in ("library", "python"):
        subprocess.run(["cmake", "--install", build, "--prefix", str(prefix), "--component", component],
                       check=True, env=clean, stdout=subprocess.DEVNULL)
    packages = prefix / "lib/python3/dist-packages"
    assert (packages / "velklink/py.typed").exists()
    probe = textwrap.dedent("""
        import sys, velklink
        with velklink.Decoder(sys.argv[1]) as dec:
            dec.sync()
            sys.stdout.buffer.write(dec.read_flash(0x34020000, 80))
        print(velklink.__file__, file=sys.stderr)
        print(open("/proc/self/maps").read(), file=sys.stderr)
    """)
    env = dict(clean, PYTHONPATH=str(packages))
    if "LD_PRELOAD" in os.environ:
        env["LD_PRELOAD"] = os.environ["LD_PRELOAD"]
    done = subprocess.run([sys.executable, "-c", probe, sim.line], capture_output=True, env=env, cwd=tmp_path,
                          timeout=60)
    assert done.returncode == 0, done.stderr.decode()
    assert done.stdout == slot_bytes(sim, 0, 0, 80)
    where = done.stderr.decode()
    assert where.startswith(str(packages)) and str(prefix / "lib") + "/libvelklink.so" in where


@pytest.mark.parametrize("reserved, words, admitted", [
    (29, {0: 0x80, 28: 0xFF}, {0, 28}),  # slots 0..28 read words 0..28
    (0, {0: 0x80, 5: 0x7F}, {1}),  # slot 0 has no word, slot j reads word j - 1; bit 31 alone counts
    # 31 (upper bits unread), none reserved: slot 29 reads the word that holds the reserved byte itself
    (0x9F, {28: 0x80}, {28, 29}),
])
def test_the_eeprom_slot_table(reserved, words, admitted):
    from velklink import _records
    eeprom = bytearray(8192)
    for word, first in words.items():
        eeprom[0x108E + 4 * word] = first
    eeprom[0x1102] |= reserved
    assert {slot for slot, flag in enumerate(_records.admitted_slots(bytes(eeprom))) if flag} == admitted
