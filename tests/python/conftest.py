"""The Python package's tests run against the velksim program on a pseudo-terminal.

CTest gives the programs and the library of the build: VELKSIM, VELKCTL,
VELK_LIB (the library the package loads) and VELK_BUILD_DIR.
"""

import os
import pathlib
import signal
import subprocess

import pytest


class Simulator:
    """A velksim process with a state folder of its own."""

    def __init__(self, folder: pathlib.Path, options):
        folder.mkdir()
        self.state = folder / "state"
        self.line = str(folder / "line")
        self.process = subprocess.Popen(
            [os.environ["VELKSIM"], "--state", str(self.state), "--link", self.line, *options],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready = self.process.stdout.readline()
        if "decoder ready" not in ready:
            self.process.kill()
            raise RuntimeError(f"velksim did not start: {ready}{self.process.stderr.read()}")

    def file(self, name: str) -> bytes:
        return (self.state / name).read_bytes()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def simulator(tmp_path):
    """simulator(*velksim options) starts a velksim; all are stopped at the end."""
    started = []

    def start(*options):
        sim = Simulator(tmp_path / f"sim{len(started)}", options)
        started.append(sim)
        return sim

    yield start
    for sim in started:
        sim.stop()


@pytest.fixture
def sim(simulator):
    return simulator()
