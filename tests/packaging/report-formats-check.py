#!/usr/bin/env python3
"""kivo-report --json and --check against the emulator on every golden world:
the document follows docs/kivo-report.schema.json, its exit status is the
text report's, and a reader that went away is an error with status 1; the
check prints one line whose state is its exit status.
Usage: report-formats-check.py BUILD_DIR SOURCE_DIR (status 77: jsonschema missing)."""
import glob
import json
import os
import subprocess
import sys
import tempfile
import time

try:
    import jsonschema
except ImportError:
    print("skipped: python3-jsonschema is not installed")
    sys.exit(77)

build, source = sys.argv[1], sys.argv[2]
emulator = os.path.join(build, "emulator", "zelka-emulator")
report = os.path.join(build, "src", "app", "cli", "kivo-report")
with open(os.path.join(source, "docs", "kivo-report.schema.json"), encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failures = []


def run_world(work, world):
    env = dict(os.environ, KIVO_DEVICE_DIR=work + "/devices", KIVO_RPC_DIR=work + "/rpc",
               KIVO_REGISTRY_DIR=work + "/registry", TZ="UTC")
    argv = [emulator, "--http-port", "0"] + (["--world", world] if world else [])
    with open(work + "/emulator.log", "w+", encoding="utf-8") as log:
        server = subprocess.Popen(argv, env=env, stderr=log, stdout=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 20
            while "zelka-emulator: ready" not in open(work + "/emulator.log", encoding="utf-8").read():
                if time.monotonic() > deadline or server.poll() is not None:
                    return ["emulator did not start"]
                time.sleep(0.05)
            return check(env)
        finally:
            server.terminate()
            server.wait(timeout=20)


def check(env):
    problems = []
    text = subprocess.run([report], env=env, capture_output=True, timeout=60)
    run = subprocess.run([report, "--json"], env=env, capture_output=True, timeout=60)
    if run.returncode != text.returncode:
        problems.append(f"exit status {run.returncode}, the text report's {text.returncode}")
    try:
        document = json.loads(run.stdout)
    except ValueError as error:
        return problems + [f"not JSON: {error}"]
    problems += [f"{list(e.absolute_path)}: {e.message}" for e in validator.iter_errors(document)]
    if document.get("complete") != (document.get("errors") == []):
        problems.append("complete does not match errors")
    plugin = subprocess.run([report, "--check"], env=env, capture_output=True, timeout=60)
    state = {0: "OK", 1: "WARNING", 2: "CRITICAL", 3: "UNKNOWN"}.get(plugin.returncode, "?")
    if not plugin.stdout.startswith(f"KIVO {state} - ".encode()) or plugin.stdout.count(b"\n") != 1:
        problems.append(f"--check: status {plugin.returncode}, {plugin.stdout!r}")
    # Nobody reads: the write fails, the reason goes to standard error.
    read_end, write_end = os.pipe()
    os.close(read_end)
    lost = subprocess.run([report, "--json"], env=env, stdout=write_end, stderr=subprocess.PIPE, timeout=60)
    os.close(write_end)
    if lost.returncode != 1 or b"kivo-report: standard output: " not in lost.stderr:
        problems.append(f"closed pipe: status {lost.returncode}, {lost.stderr!r}")
    return problems


worlds = [None] + sorted(glob.glob(os.path.join(source, "tests", "report", "worlds", "*.json")))
for world in worlds:
    with tempfile.TemporaryDirectory(prefix="kivo-json.") as work:
        for problem in run_world(work, world):
            failures.append(f"{os.path.basename(world) if world else 'built-in world'}: {problem}")
for failure in failures:
    print("FAILED:", failure, file=sys.stderr)
print(f"{len(worlds)} worlds checked")
sys.exit(1 if failures else 0)
