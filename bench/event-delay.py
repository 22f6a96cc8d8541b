#!/usr/bin/env python3
"""How many controller events kivo-watch shows, and how late, against the
emulator: a flapping cable (one event a second on one controller), a queue
of eight events at once on one controller, and a burst over twelve
controllers. The monitor's waits are scaled (KIVO_TIME_SCALE); every figure
printed is in unscaled seconds, as a user of the real program would see it.

  bench/event-delay.py [--build DIR] [--scale N] [stream|queued|burst ...]

Each event of the stream is raised with its own `zelka-emulator ctl aen`
call; the queued events and the burst with one `ctl aen-series` per
controller where the emulator has it (else one `aen` each, so that the script
measures an older build too). The unit byte numbers the events, and each is
matched with the line that names it on kivo-watch's standard output.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import re

LINE = re.compile(r"MESSAGE: (?:Drive timeout encountered on unit (\d+) on controller ID:(\d+)\.|(Queue is full\.))")


class Watch:
    """kivo-watch with its standard output read line by line, each line
    stamped with the moment it arrived."""

    def __init__(self, build, env):
        self.lines = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen([os.path.join(build, "src/app/cli/kivo-watch")], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.process.stdout:
            with self.lock:
                self.lines.append((time.monotonic(), raw.decode("latin-1")))

    def last_line_time(self):
        with self.lock:
            return self.lines[-1][0] if self.lines else None

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=20)
        self.reader.join(timeout=5)


class Machine:
    def __init__(self, build, scale, controllers):
        self.build = build
        self.scale = scale
        self.root = tempfile.mkdtemp(prefix="kivo-event-delay.")
        os.chmod(self.root, 0o700)
        self.env = dict(os.environ, KIVO_DEVICE_DIR=self.root + "/dev", KIVO_RPC_DIR=self.root + "/rpc",
                        KIVO_REGISTRY_DIR=self.root + "/reg", KIVO_TIME_SCALE=str(scale), TZ="UTC")
        world = {"controllers": [{"port": port} for port in range(controllers)]}
        with open(self.root + "/world.json", "w") as file:
            json.dump(world, file)
        self.emulator = subprocess.Popen(
            [self.emulator_path(), "--world", self.root + "/world.json", "--http-port", "0"], env=self.env,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        for raw in self.emulator.stderr:
            if b"ready" in raw:
                break
        self.has_series = None
        self.watch = Watch(build, self.env)
        # Past the monitor's first wait: the service has been asked once.
        deadline = time.monotonic() + 90000 / scale / 1000 + 30
        while b"rpc calls: 0\n" in self.ctl("calls"):
            if time.monotonic() > deadline:
                raise SystemExit("kivo-watch never asked the service")
            time.sleep(0.02)

    def emulator_path(self):
        return os.path.join(self.build, "emulator/zelka-emulator")

    def ctl(self, *words):
        return subprocess.run([self.emulator_path(), "ctl", *words], env=self.env, check=True,
                              stdout=subprocess.PIPE).stdout

    def raise_event(self, controller, unit):
        """Queues AEN 9 on the controller with this unit; the moment it was queued."""
        before = time.monotonic()
        self.ctl("aen", str(controller), "9", str(unit))
        return (before + time.monotonic()) / 2

    def raise_at_once(self, controller, count):
        """Queues AEN 9 with the units 0 to count - 1 on the controller, in one
        command where the emulator has `aen-series` (an older one gets one
        `aen` each); the moment each was queued."""
        if self.has_series is None:
            self.has_series = b"aen-series" in self.ctl("--help")
        if not self.has_series:
            return [self.raise_event(controller, unit) for unit in range(count)]
        before = time.monotonic()
        self.ctl("aen-series", str(controller), "9", str(count))
        return [(before + time.monotonic()) / 2] * count

    def settle(self, quiet_passes=3):
        """Waits until no line has come for a few passes (the queues are empty)."""
        quiet = quiet_passes * 18.0 / self.scale
        start = time.monotonic()
        while True:
            last = self.watch.last_line_time() or start
            if time.monotonic() - max(last, start) > quiet:
                return
            time.sleep(0.05)

    def close(self):
        self.watch.stop()
        self.emulator.terminate()
        self.emulator.wait(timeout=20)
        shutil.rmtree(self.root, ignore_errors=True)

    def results(self, raised):
        """raised: {(controller, unit): time}. Returns shown delays (unscaled s),
        lost events and the number of "Queue is full." lines."""
        delays = {}
        full = 0
        with self.watch.lock:
            lines = list(self.watch.lines)
        for stamp, text in lines:
            match = LINE.search(text)
            if not match:
                continue
            if match.group(3):
                full += 1
                continue
            key = (int(match.group(2)), int(match.group(1)))
            if key in raised and key not in delays:
                delays[key] = (stamp - raised[key]) * self.scale
        lost = [key for key in raised if key not in delays]
        return delays, lost, full


def figures(name, raised, delays, lost, full):
    values = sorted(delays.values())
    first = delays[min(delays, key=lambda key: raised[key])] if delays else float("nan")
    print(f"{name}: {len(delays)} of {len(raised)} shown, {len(lost)} lost, {full} 'Queue is full.' lines")
    if values:
        print(f"{name}: delay from the event to its line: first {first:.0f} s, "
              f"median {statistics.median(values):.0f} s, worst {values[-1]:.0f} s")


def stream(build, scale):
    """One event a second on controller 0 for 120 s."""
    machine = Machine(build, scale, 2)
    try:
        raised = {}
        start = time.monotonic()
        for unit in range(120):
            due = start + unit / scale
            wait = due - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            raised[(0, unit)] = machine.raise_event(0, unit)
        machine.settle()
        figures("stream (1 event/s on one controller, 120 s)", raised, *machine.results(raised))
    finally:
        machine.close()


def queued(build, scale):
    """Eight events queued at once on controller 0."""
    machine = Machine(build, scale, 2)
    try:
        raised = {(0, unit): stamp for unit, stamp in enumerate(machine.raise_at_once(0, 8))}
        machine.settle()
        delays, lost, full = machine.results(raised)
        shown = ", ".join(f"{delays[(0, unit)]:.0f}" for unit in range(8) if (0, unit) in delays)
        print(f"queued (8 at once on one controller): shown after {shown} s; {len(lost)} lost")
    finally:
        machine.close()


def burst(build, scale):
    """108 events at once over twelve controllers (nine each)."""
    machine = Machine(build, scale, 12)
    try:
        raised = {}
        for controller in range(12):
            for unit, stamp in enumerate(machine.raise_at_once(controller, 9)):
                raised[(controller, unit)] = stamp
        machine.settle()
        figures("burst (108 over 12 controllers)", raised, *machine.results(raised))
    finally:
        machine.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--scale", type=int, default=10)
    parser.add_argument("scenarios", nargs="*", default=["stream", "queued", "burst"])
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    for scenario in args.scenarios:
        {"stream": stream, "queued": queued, "burst": burst}[scenario](build, args.scale)
        sys.stdout.flush()


if __name__ == "__main__":
    main()
