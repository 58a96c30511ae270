#!/usr/bin/env python3
"""Times a 64 KiB flash read and write through the Python package and through
velkctl, on one simulator paced like a 115200-baud cable, taking turns.

    bench/python-vs-velkctl.py BUILD_DIR [--runs N]

BUILD_DIR holds the library, velksim and velkctl (a release build: ./run
build). The package's time is that of Decoder open, the transfer and close,
measured in the Python process; velkctl's that of the whole program. The line
sets both (about 5.7 s each way): the package must add nothing it can see.
"""

import argparse
import os
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ADDRESS = 0x34030000  # slot 1, free in the demo decoder
SIZE = 65536


def cpu_time(who):
    usage = resource.getrusage(who)
    return usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = args.build.resolve()
    os.environ["VELK_LIB"] = str(build / "velklink/libvelklink.so.1")
    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python"))
    import velklink

    with tempfile.TemporaryDirectory(prefix="velk-pybench.") as work:
        work = pathlib.Path(work)
        line = str(work / "line")
        sim = subprocess.Popen([str(build / "tools/velksim/velksim"), "--state", str(work / "state"), "--link", line,
                                "--baud", "115200"], stdout=subprocess.PIPE, text=True)
        try:
            if "decoder ready" not in sim.stdout.readline():
                sys.exit("velksim did not start")
            data = bytes(range(256)) * (SIZE // 256)
            (work / "data.bin").write_bytes(data)
            velkctl = [str(build / "tools/velkctl/velkctl"), "--port", line, "--no-progress", "--quiet",
                       "--retries", "0"]
            commands = {
                "read": velkctl + ["read", "flash", hex(ADDRESS), str(SIZE), "-o", os.devnull],
                "write": velkctl + ["write", "flash", hex(ADDRESS), str(work / "data.bin")],
            }
            times = {(kind, tool): [] for kind in commands for tool in ("velklink", "velkctl")}
            cpu = {key: [] for key in times}
            for _ in range(args.runs):
                for kind, command in commands.items():
                    start, used = time.monotonic(), cpu_time(resource.RUSAGE_CHILDREN)
                    subprocess.run(command, check=True)
                    times[kind, "velkctl"].append(time.monotonic() - start)
                    cpu[kind, "velkctl"].append(cpu_time(resource.RUSAGE_CHILDREN) - used)
                    start, used = time.monotonic(), cpu_time(resource.RUSAGE_SELF)
                    with velklink.Decoder(line) as dec:
                        if kind == "read":
                            dec.read_flash(ADDRESS, SIZE)
                        else:
                            dec.write_flash(ADDRESS, data)
                    times[kind, "velklink"].append(time.monotonic() - start)
                    cpu[kind, "velklink"].append(cpu_time(resource.RUSAGE_SELF) - used)
        finally:
            sim.terminate()
            sim.wait()

    print(f"Paced 64 KiB flash transfers, 115200 baud, {args.runs} runs each, taking turns "
          f"(load average {os.getloadavg()[0]:.1f}):")
    print("| transfer | velkctl | velklink (Python) | difference | CPU velkctl | CPU velklink |")
    print("|---|---:|---:|---:|---:|---:|")
    for kind in commands:
        ctl = statistics.median(times[kind, "velkctl"])
        py = statistics.median(times[kind, "velklink"])
        ctl_cpu = statistics.median(cpu[kind, "velkctl"])
        py_cpu = statistics.median(cpu[kind, "velklink"])
        print(f"| {kind} | {ctl:.3f} s | {py:.3f} s | {100 * (py - ctl) / ctl:+.2f} % "
              f"| {1000 * ctl_cpu:.0f} ms | {1000 * py_cpu:.0f} ms |")


if __name__ == "__main__":
    main()
