"""The Windows wheels' tools: make-wheel.py turns the py3-none-any wheel into a
win_amd64 or win32 one with the DLL inside, and wheel-check.py finds every fault
a wheel can carry (a DLL here stands for the real one: a PE header of the
platform's machine, which is what the check reads)."""

import os
import pathlib
import shutil
import struct
import subprocess
import sys
import zipfile

import pytest

SOURCE = pathlib.Path(__file__).resolve().parents[2]
TOOLS = SOURCE / "packaging/windows"
VERSION = "1.4.0"


def fake_dll(machine: int) -> bytes:
    """The DOS and COFF headers of a DLL for machine, padded."""
    head = bytearray(0x200)
    head[:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x80)
    head[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", head, 0x84, machine)
    struct.pack_into("<H", head, 0x80 + 22, 0x2000 | 0x0002)  # a DLL, executable
    return bytes(head)


def rewrite(wheel: pathlib.Path, change) -> None:
    """The wheel's members changed by change(members) in place, RECORD untouched."""
    with zipfile.ZipFile(wheel) as source:
        members = {info.filename: source.read(info) for info in source.infolist()}
    change(members)
    with zipfile.ZipFile(wheel, "w") as out:
        for name, data in members.items():
            out.writestr(name, data)


def check(*wheels, version=VERSION):
    return subprocess.run([sys.executable, str(TOOLS / "wheel-check.py"), version, str(SOURCE / "python/velklink"),
                           *map(str, wheels)], capture_output=True, text=True)


@pytest.fixture(scope="module")
def pure():
    wheel = os.environ.get("VELK_WHEEL")
    if not wheel:
        pytest.skip("no wheel in this build (the CTest test python-wheel says why)")
    return pathlib.Path(wheel)


def make(pure, tmp_path, platform, machine):
    dll = tmp_path / f"{platform}.dll"
    dll.write_bytes(fake_dll(machine))
    out = tmp_path / platform
    subprocess.run([sys.executable, str(TOOLS / "make-wheel.py"), str(pure), str(dll), platform, str(out)], check=True,
                   stdout=subprocess.DEVNULL)
    return out / f"velklink-{VERSION}-py3-none-{platform}.whl"


def test_made_wheels_pass_and_install_for_their_platform_only(pure, tmp_path):
    made = [make(pure, tmp_path, "win_amd64", 0x8664), make(pure, tmp_path, "win32", 0x014C)]
    done = check(*made)
    assert done.returncode == 0, done.stderr
    assert done.stdout.count("ok ") == 2
    with zipfile.ZipFile(made[0]) as wheel:
        assert wheel.read(f"velklink-{VERSION}.dist-info/METADATA") == zipfile.ZipFile(pure).read(
            f"velklink-{VERSION}.dist-info/METADATA")
        assert wheel.read("velklink/velklink.dll") == fake_dll(0x8664)
    # The same inputs make the same bytes.
    (tmp_path / "again").mkdir()
    again = make(pure, tmp_path / "again", "win_amd64", 0x8664)
    assert again.read_bytes() == made[0].read_bytes()


MODULE = "velklink/_errors.py"
RECORD = f"velklink-{VERSION}.dist-info/RECORD"


@pytest.mark.parametrize("fault, change, found", [
    ("a module changed after RECORD", lambda m: m.__setitem__(MODULE, m[MODULE] + b"#"), "hash or size of " + MODULE),
    ("a file RECORD does not list", lambda m: m.__setitem__("velklink/extra.py", b""), "does not list velklink/extra"),
    ("a file RECORD lists missing", lambda m: m.pop(MODULE), "lacks " + MODULE),
    ("no DLL", lambda m: m.pop("velklink/velklink.dll"), "missing or not a PE DLL"),
    ("the other machine's DLL", lambda m: m.__setitem__("velklink/velklink.dll", fake_dll(0x014C)), "machine 0x014c"),
    ("a pure wheel's WHEEL", lambda m: m.__setitem__(f"velklink-{VERSION}.dist-info/WHEEL",
                                                      b"Wheel-Version: 1.0\nRoot-Is-Purelib: true\nTag: py3-none-any\n"),
     "Root-Is-Purelib: false"),
])
def test_each_fault_of_a_wheel_is_found(pure, tmp_path, fault, change, found):
    wheel = make(pure, tmp_path, "win_amd64", 0x8664)
    rewrite(wheel, change)
    done = check(wheel)
    assert done.returncode == 1 and found in done.stderr, (fault, done.stderr)


def test_a_wrong_tag_or_version_is_found(pure, tmp_path):
    wheel = make(pure, tmp_path, "win_amd64", 0x8664)
    renamed = wheel.with_name(f"velklink-{VERSION}-py3-none-win32.whl")
    shutil.copy(wheel, renamed)
    done = check(renamed)
    assert done.returncode == 1 and "WHEEL tags ['py3-none-win_amd64'], not the name's py3-none-win32" in done.stderr
    done = check(wheel, version="9.9.9")
    assert done.returncode == 1 and "not 9.9.9" in done.stderr
