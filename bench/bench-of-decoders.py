#!/usr/bin/env python3
"""Times velkctl on a bench of decoders against velkctl on one of them alone.

    bench/bench-of-decoders.py BUILD_DIR [--runs N] [--decoders N] [--remote N]

BUILD_DIR holds velksim and velkctl (a release build: ./run build). Every
decoder is a simulator paced like a 115200-baud cable; each run writes 64 KiB
into a record slot and reads it back (`write --verify`), first on one decoder
alone, then on all of them at once through one port file (`--port @FILE`),
taking turns run by run. With --remote N, N of the decoders are reached through
Debian's ser2net (rfc2217://127.0.0.1:PORT lines in the port file).

Targets: all at once take at most 1.10 x the wall time of one alone, and the
CPU of every velkctl process together (the one started and the one per decoder
it starts) at most decoders x one alone's. With --remote, a decoder through the
server is also timed alone, and the CPU is also given against the sum of the
decoders' own.
"""

import argparse
import os
import pathlib
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ADDRESS = 0x34030000  # slot 1, free in the demo decoder
SIZE = 65536
WALL_TARGET = 1.10


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


def start_sim(build, work, index):
    line = work / f"dec{index}"
    sim = subprocess.Popen([str(build / "tools/velksim/velksim"), "--link", str(line), "--baud", "115200"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if "decoder ready" not in sim.stdout.readline():
        sys.exit("velksim did not start")
    return sim, str(line)


def start_ser2net(work, lines):
    program = shutil.which("ser2net") or "/usr/sbin/ser2net"
    if not os.path.exists(program):
        sys.exit("ser2net is not installed (apt-get install ser2net)")
    ports = [free_port() for _ in lines]
    config = work / "ser2net.yaml"
    config.write_text("".join(
        f"connection: &line{i}\n  accepter: telnet(rfc2217),tcp,127.0.0.1,{port}\n"
        f"  connector: serialdev,{line},115200n81,local\n  options:\n    chardelay: false\n"
        for i, (line, port) in enumerate(zip(lines, ports))))
    server = subprocess.Popen([program, "-n", "-u", "-c", str(config), "-P", str(work / "ser2net.pid")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while not all(listening(port) for port in ports):
        if time.monotonic() > deadline:
            server.kill()
            sys.exit("ser2net did not listen within 10 s")
        time.sleep(0.05)
    return server, [f"rfc2217://127.0.0.1:{port}" for port in ports]


def timed(command):
    """Wall seconds and CPU seconds of the command and every process it waited for."""
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({process.returncode}): {process.stderr.read().decode()}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--decoders", type=int, default=8)
    parser.add_argument("--remote", type=int, default=0, help="decoders reached through ser2net")
    args = parser.parse_args()
    build = args.build.resolve()
    velkctl = str(build / "tools/velkctl/velkctl")
    processes = []
    with tempfile.TemporaryDirectory(prefix="velk-benchrun.") as work:
        work = pathlib.Path(work)
        try:
            lines = []
            for index in range(args.decoders):
                sim, line = start_sim(build, work, index + 1)
                processes.append(sim)
                lines.append(line)
            if args.remote:
                server, remote = start_ser2net(work, lines[-args.remote:])
                processes.append(server)
                lines[-args.remote:] = remote
            (work / "bench.txt").write_text("".join(line + "\n" for line in lines))
            (work / "data.bin").write_bytes(bytes(range(256)) * (SIZE // 256))
            job = ["--no-progress", "--retries", "0", "write", "flash", hex(ADDRESS), str(work / "data.bin"),
                   "--verify"]
            one, remote_one, bench = [], [], []
            for _ in range(args.runs):
                one.append(timed([velkctl, "--port", lines[0]] + job))
                if args.remote:
                    remote_one.append(timed([velkctl, "--port", lines[-1]] + job))
                bench.append(timed([velkctl, "--port", "@" + str(work / "bench.txt")] + job))
        finally:
            for process in processes:
                process.terminate()
                process.wait()

    wall_one = statistics.median(w for w, _ in one)
    cpu_one = statistics.median(c for _, c in one)
    wall_bench = statistics.median(w for w, _ in bench)
    cpu_bench = statistics.median(c for _, c in bench)
    wall_ratio = wall_bench / wall_one
    cpu_ratio = cpu_bench / cpu_one
    load = os.getloadavg()[0]
    where = f", {args.remote} through ser2net" if args.remote else ""
    print(f"64 KiB write then read back, 115200 baud, medians of {args.runs} (load {load:.1f}):")
    print(f"| decoders | wall | CPU of all velkctl processes |")
    print(f"|---|---:|---:|")
    print(f"| one alone | {wall_one:.2f} s | {cpu_one:.3f} s |")
    if remote_one:
        # A decoder through the server costs more CPU on its own; the bench's
        # share is the CPU beyond what its decoders cost one at a time.
        cpu_remote = statistics.median(c for _, c in remote_one)
        alone = (args.decoders - args.remote) * cpu_one + args.remote * cpu_remote
        print(f"| one alone through ser2net | {statistics.median(w for w, _ in remote_one):.2f} s | "
              f"{cpu_remote:.3f} s |")
        print(f"| sum of the {args.decoders} alone | - | {alone:.3f} s (bench at once: {cpu_bench / alone:.2f} x) |")
    print(f"| {args.decoders} at once{where} | {wall_bench:.2f} s ({wall_ratio:.3f} x, target <= {WALL_TARGET:.2f}: "
          f"{'met' if wall_ratio <= WALL_TARGET else 'missed'}) | {cpu_bench:.3f} s ({cpu_ratio:.2f} x, target <= "
          f"{args.decoders}: {'met' if cpu_ratio <= args.decoders else 'missed'}) |")


if __name__ == "__main__":
    main()
