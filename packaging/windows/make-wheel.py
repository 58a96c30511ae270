#!/usr/bin/env python3
"""A Windows wheel of the velklink package: the py3-none-any wheel with the DLL
put inside the package, retagged for one Windows architecture.

    make-wheel.py PURE_WHEEL DLL PLATFORM OUTDIR     PLATFORM: win_amd64 or win32

The result, OUTDIR/velklink-<version>-py3-none-<PLATFORM>.whl, holds every file
of the pure wheel, velklink/velklink.dll (the module loads the DLL beside
itself first), a WHEEL file with its tag and Root-Is-Purelib: false (the DLL is
platform code) and a RECORD with the sha256 of every file. Standard library
only; the same inputs make the same bytes.
"""

import base64
import hashlib
import pathlib
import sys
import zipfile

PLATFORMS = ("win_amd64", "win32")
# Every member gets the same time, the earliest a zip can hold.
STAMP = (1980, 1, 1, 0, 0, 0)


def record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def wheel_file(tag: str) -> bytes:
    return (f"Wheel-Version: 1.0\nGenerator: velklink make-wheel.py\nRoot-Is-Purelib: false\nTag: {tag}\n").encode()


def main(pure: str, dll: str, platform: str, outdir: str) -> int:
    if platform not in PLATFORMS:
        print(f"make-wheel: the platform is one of {', '.join(PLATFORMS)}, not {platform}", file=sys.stderr)
        return 2
    pure_name = pathlib.Path(pure).name
    if not pure_name.endswith("-py3-none-any.whl"):
        print(f"make-wheel: {pure_name} is not a py3-none-any wheel", file=sys.stderr)
        return 2
    stem = pure_name[: -len("-py3-none-any.whl")]  # velklink-<version>
    dist_info = stem + ".dist-info"
    tag = f"py3-none-{platform}"
    with zipfile.ZipFile(pure) as source:
        members = {info.filename: source.read(info) for info in source.infolist() if not info.is_dir()}
    for kept in (f"{dist_info}/RECORD", f"{dist_info}/WHEEL"):
        if kept not in members:
            print(f"make-wheel: {pure_name} has no {kept}", file=sys.stderr)
            return 1
        del members[kept]
    members["velklink/velklink.dll"] = pathlib.Path(dll).read_bytes()
    members[f"{dist_info}/WHEEL"] = wheel_file(tag)
    # The package first, the .dist-info folder last, RECORD at its very end.
    names = sorted(members, key=lambda name: (name.startswith(dist_info), name))
    record = "".join(record_line(name, members[name]) + "\n" for name in names) + f"{dist_info}/RECORD,,\n"
    out = pathlib.Path(outdir) / f"{stem}-{tag}.whl"
    out.parent.mkdir(parents=True, exist_ok=True)
    partial = out.with_suffix(".whl.part")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name in names:
            info = zipfile.ZipInfo(name, STAMP)
            info.external_attr = 0o644 << 16
            wheel.writestr(info, members[name], zipfile.ZIP_DEFLATED)
        info = zipfile.ZipInfo(f"{dist_info}/RECORD", STAMP)
        info.external_attr = 0o644 << 16
        wheel.writestr(info, record, zipfile.ZIP_DEFLATED)
    partial.replace(out)
    print(out)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print("usage: make-wheel.py PURE_WHEEL DLL win_amd64|win32 OUTDIR", file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
