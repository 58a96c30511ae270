#!/usr/bin/env python3
"""The Windows wheels checked without Windows: for each WHEEL file given,

- its name is velklink-<version>-py3-none-<platform>.whl, platform win_amd64
  or win32, and <version> is VERSION;
- .dist-info/WHEEL says Wheel-Version 1.0, Root-Is-Purelib: false and the
  name's tag, once; METADATA names velklink and VERSION;
- RECORD lists every file of the wheel once, itself without a hash, each other
  one with the urlsafe-base64 sha256 and the size of its bytes;
- the package holds every module of PACKAGE_DIR (the source folder) and its
  py.typed, and velklink/velklink.dll, a PE DLL for the tag's machine;
- where this python3 has pip: pip, told the wheel's platform, installs it into
  a folder (--target, offline) with the DLL beside the modules, and refuses it
  for the other platform.

    wheel-check.py VERSION PACKAGE_DIR WHEEL...

Prints one "ok" line per wheel, "FAIL" lines otherwise; exits 1 on a failure.
"""

import base64
import csv
import hashlib
import io
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

# The COFF machine field of each platform's DLL.
MACHINES = {"win_amd64": 0x8664, "win32": 0x014C}
PE_DLL = 0x2000  # IMAGE_FILE_DLL among the COFF characteristics


def headers(text: str) -> list:
    """The "Key: value" lines of a WHEEL or METADATA file, up to its body."""
    found = []
    for line in text.splitlines():
        if not line:
            break
        key, _, value = line.partition(":")
        found.append((key.strip(), value.strip()))
    return found


def dll_machine(data: bytes):
    """The machine of a PE DLL, or None for anything else."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if pe + 24 > len(data) or data[pe:pe + 4] != b"PE\0\0":
        return None
    machine, = struct.unpack_from("<H", data, pe + 4)
    characteristics, = struct.unpack_from("<H", data, pe + 22)
    return machine if characteristics & PE_DLL else None


def check(path: pathlib.Path, version: str, modules: list) -> list:
    problems = []
    match = re.fullmatch(r"velklink-([^-]+)-py3-none-(win_amd64|win32)\.whl", path.name)
    if not match:
        return ["the name is not velklink-<version>-py3-none-win_amd64|win32.whl"]
    if match[1] != version:
        problems.append(f"version {match[1]} in the name, not {version}")
    platform = match[2]
    dist_info = f"velklink-{match[1]}.dist-info"
    with zipfile.ZipFile(path) as wheel:
        if wheel.testzip() is not None:
            return [f"a damaged member: {wheel.testzip()}"]
        members = {info.filename: wheel.read(info) for info in wheel.infolist() if not info.is_dir()}

    wheel_headers = headers(members.get(f"{dist_info}/WHEEL", b"").decode("utf-8", "replace"))
    tags = [value for key, value in wheel_headers if key == "Tag"]
    if tags != [f"py3-none-{platform}"]:
        problems.append(f"WHEEL tags {tags}, not the name's py3-none-{platform}")
    if ("Root-Is-Purelib", "false") not in wheel_headers:
        problems.append("WHEEL does not say Root-Is-Purelib: false")
    if ("Wheel-Version", "1.0") not in wheel_headers:
        problems.append("WHEEL does not say Wheel-Version: 1.0")
    metadata = dict(headers(members.get(f"{dist_info}/METADATA", b"").decode("utf-8", "replace")))
    if metadata.get("Name") != "velklink" or metadata.get("Version") != version:
        problems.append(f"METADATA names {metadata.get('Name')} {metadata.get('Version')}, not velklink {version}")

    record_name = f"{dist_info}/RECORD"
    if record_name not in members:
        problems.append("no RECORD")
    else:
        listed = {}
        for row in csv.reader(io.StringIO(members[record_name].decode("utf-8", "replace"))):
            if len(row) != 3:
                problems.append(f"RECORD line {row} has not 3 fields")
                continue
            if row[0] in listed:
                problems.append(f"RECORD lists {row[0]} twice")
            listed[row[0]] = row[1:]
        for name in sorted(set(members) | set(listed)):
            if name not in members:
                problems.append(f"RECORD lists {name}, which the wheel lacks")
            elif name not in listed:
                problems.append(f"RECORD does not list {name}")
            elif name == record_name:
                if listed[name] != ["", ""]:
                    problems.append("RECORD gives itself a hash")
            else:
                data = members[name]
                digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
                if listed[name] != [f"sha256={digest}", str(len(data))]:
                    problems.append(f"RECORD's hash or size of {name} is not its content's")

    for module in modules:
        if f"velklink/{module}" not in members:
            problems.append(f"the package lacks velklink/{module}")
    machine = dll_machine(members.get("velklink/velklink.dll", b""))
    if machine != MACHINES[platform]:
        problems.append("velklink/velklink.dll is " + ("missing or not a PE DLL" if machine is None else
                                                        f"a DLL for machine {machine:#06x}, not {platform}'s"))
    return problems


def has_pip() -> bool:
    return subprocess.run([sys.executable, "-m", "pip", "--version"], capture_output=True).returncode == 0


def pip_installs(path: pathlib.Path, platform: str) -> bool:
    """Whether pip, told the platform, installs the wheel with its DLL."""
    with tempfile.TemporaryDirectory() as target:
        done = subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-deps", "--no-index",
                               "--disable-pip-version-check", "--target", target, "--platform", platform,
                               "--only-binary=:all:", str(path)], capture_output=True)
        return done.returncode == 0 and (pathlib.Path(target) / "velklink/velklink.dll").is_file()


def check_with_pip(path: pathlib.Path) -> list:
    platform = re.fullmatch(r".*-py3-none-(win_amd64|win32)\.whl", path.name)[1]
    other = "win32" if platform == "win_amd64" else "win_amd64"
    problems = []
    if not pip_installs(path, platform):
        problems.append(f"pip does not install it for {platform}")
    if pip_installs(path, other):
        problems.append(f"pip installs it for {other} too")
    return problems


def main(version: str, package_dir: str, wheels: list) -> int:
    modules = sorted(p.name for p in pathlib.Path(package_dir).glob("*.py")) + ["py.typed"]
    if len(modules) < 2:
        print(f"FAIL wheel-check: no modules in {package_dir}", file=sys.stderr)
        return 1
    pip = None  # asked once, when a wheel has passed the other checks
    failed = 0
    for wheel in map(pathlib.Path, wheels):
        try:
            problems = check(wheel, version, modules)
            if not problems and pip is None:
                pip = has_pip()
                if not pip:
                    print(f"wheel-check: {sys.executable} has no pip: the wheels are not installed with it")
            if not problems and pip:
                problems = check_with_pip(wheel)
        except (OSError, zipfile.BadZipFile) as error:
            problems = [str(error)]
        for problem in problems:
            print(f"FAIL {wheel.name}: {problem}", file=sys.stderr)
        if problems:
            failed = 1
        else:
            print(f"ok   {wheel.name}: tag, RECORD digests, the package's {len(modules)} files and its DLL"
                  + (", installed by pip for its platform only" if pip else ""))
    return failed


if __name__ == "__main__":
    if len(sys.argv) < 4:
        print("usage: wheel-check.py VERSION PACKAGE_DIR WHEEL...", file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
