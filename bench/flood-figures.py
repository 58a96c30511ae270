#!/usr/bin/env python3
"""Times velkctl against servers that flood it: how long from the server's
first flood byte to velkctl's end, with the CPU velkctl used in that time, and
how long velkctl takes to exit after SIGINT under the same flood.

    bench/flood-figures.py build/tools/velkctl/velkctl

Each server listens on a free port of 127.0.0.1 and floods its one client with
a pattern as fast as the connection takes it, never reading: through
socket:// at once, through rfc2217:// after a sound opening (it agrees to the
COM-PORT-OPTION and answers every line setting)."""
import os
import resource
import signal
import socket
import subprocess
import sys
import threading
import time

PATTERNS = {"letters": b"A", "telnet-nops": b"\xff\xf1", "doubled-iacs": b"\xff\xff"}


class FloodServer:
    def __init__(self, pattern, negotiate):
        self.pattern = pattern * (65536 // len(pattern))
        self.negotiate = negotiate
        self.first = None
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def answer(self, conn):
        conn.sendall(b"\xff\xfd\x2c\xff\xfb\x00\xff\xfb\x03\xff\xfd\x00\xff\xfd\x03")
        data, answered = b"", 0
        conn.settimeout(3)
        while answered < 4:
            data += conn.recv(512)
            while True:
                at = data.find(b"\xff\xfa\x2c")
                end = data.find(b"\xff\xf0", at)
                if at < 0 or end < 0:
                    break
                sub = bytearray(data[at : end + 2])
                sub[3] += 100
                answered += sub[3] <= 104
                conn.sendall(bytes(sub))
                data = data[end + 2 :]

    def run(self):
        conn, _ = self.listener.accept()
        if self.negotiate:
            self.answer(conn)
        conn.settimeout(0.2)
        while not self.stop:
            try:
                conn.send(self.pattern)
                if self.first is None:
                    self.first = time.monotonic()
            except (socket.timeout, BlockingIOError):
                pass
            except OSError:
                return


def cpu_of_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def exchange(velkctl, scheme, name, pattern):
    server = FloodServer(pattern, scheme == "rfc2217")
    cpu = cpu_of_children()
    ctl = subprocess.run(
        [velkctl, "--retries", "0", "--port", f"{scheme}://127.0.0.1:{server.port}", "sync"],
        capture_output=True,
        text=True,
        timeout=120,
    )
    end = time.monotonic()
    server.stop = True
    used = cpu_of_children() - cpu
    took = end - server.first if server.first else float("nan")
    message = ctl.stderr.strip().splitlines()[-1] if ctl.stderr.strip() else ""
    print(f"{scheme:8} {name:13} exit {ctl.returncode}  {took:6.2f} s from the first flood byte, "
          f"{used:5.2f} s CPU  | {message}")


def interrupt(velkctl, scheme, name, pattern, after=3.0):
    server = FloodServer(pattern, scheme == "rfc2217")
    # A process group of its own, SIGINT at its default as a terminal's Ctrl-C finds it.
    ctl = subprocess.Popen(
        [velkctl, "--retries", "3", "--port", f"{scheme}://127.0.0.1:{server.port}", "read", "eeprom", "0", "8192"],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL),
    )
    time.sleep(after)
    sent = time.monotonic()
    ctl.send_signal(signal.SIGINT)
    code = ctl.wait(timeout=60)
    server.stop = True
    print(f"{scheme:8} {name:13} SIGINT after {after:.0f} s: exit {code} after {time.monotonic() - sent:.3f} s")


def main():
    velkctl = os.path.abspath(sys.argv[1])
    for scheme in ("socket", "rfc2217"):
        for name, pattern in PATTERNS.items():
            exchange(velkctl, scheme, name, pattern)
    for scheme in ("socket", "rfc2217"):
        interrupt(velkctl, scheme, "letters", b"A")


if __name__ == "__main__":
    main()
