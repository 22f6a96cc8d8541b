#!/usr/bin/env python3
"""The alerting path end to end on loopback: kivo-report --prometheus writes
the textfile as the timer would, Debian's node exporter serves it, Prometheus
scrapes it every second and evaluates the shipped rules (their "for:" cut to
a second in a copy), Alertmanager routes to a webhook served here. A drive
fails in the emulator: the drive's alert must arrive with its labels; the
unit is rebuilt: the alert must arrive resolved. Ends within a minute.
Usage: alerting-e2e.py BUILD_DIR SOURCE_DIR (status 77: a server is not installed)."""
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

DEADLINE = time.monotonic() + 55
SERVERS = ["prometheus", "prometheus-alertmanager", "prometheus-node-exporter"]
for server in SERVERS:
    if shutil.which(server) is None:
        print(f"skipped: {server} is not installed")
        sys.exit(77)

build, source = sys.argv[1], sys.argv[2]
emulator = os.path.join(build, "emulator", "zelka-emulator")
report = os.path.join(build, "src", "app", "cli", "kivo-report")
received = []  # the webhook's alerts, in order of arrival
received_lock = threading.Lock()


class Webhook(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with received_lock:
            received.extend(json.loads(body).get("alerts", []))
        self.send_response(200)
        self.end_headers()

    def log_message(self, *args):
        pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, condition):
    while time.monotonic() < DEADLINE:
        if condition():
            return
        time.sleep(0.2)
    raise TimeoutError(what)


def main(work, processes):
    env = dict(os.environ, KIVO_DEVICE_DIR=work + "/devices", KIVO_RPC_DIR=work + "/rpc",
               KIVO_REGISTRY_DIR=work + "/registry")

    def start(name, argv):
        log = open(f"{work}/{name}.log", "w")
        processes.append((name, subprocess.Popen(argv, env=env, stdout=log, stderr=subprocess.STDOUT)))

    webhook = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Webhook)
    threading.Thread(target=webhook.serve_forever, daemon=True).start()
    node, prometheus, alertmanager = free_port(), free_port(), free_port()

    start("emulator", [emulator, "--http-port", "0"])
    wait_until("the emulator", lambda: "zelka-emulator: ready" in open(work + "/emulator.log").read())
    textfiles = work + "/textfile"
    os.mkdir(textfiles)

    def write_metrics():  # as kivo-report-prometheus.service does
        subprocess.run([report, "--prometheus", textfiles + "/kivo.prom"], env=env, check=True, timeout=20)

    write_metrics()
    with open(os.path.join(source, "packaging", "prometheus", "kivo-alerts.yml")) as f:
        rules = re.sub(r"for: \d+m", "for: 1s", f.read())
    with open(work + "/kivo-alerts.yml", "w") as f:
        f.write(rules)
    with open(work + "/prometheus.yml", "w") as f:
        f.write(f"""global: {{scrape_interval: 1s, evaluation_interval: 1s}}
rule_files: [{work}/kivo-alerts.yml]
alerting:
  alertmanagers: [{{static_configs: [{{targets: ["127.0.0.1:{alertmanager}"]}}]}}]
scrape_configs:
  - job_name: node
    static_configs: [{{targets: ["127.0.0.1:{node}"]}}]
""")
    with open(work + "/alertmanager.yml", "w") as f:
        f.write(f"""route:
  receiver: webhook
  group_by: [alertname, instance]
  group_wait: 1s
  group_interval: 1s
  repeat_interval: 1h
receivers:
  - name: webhook
    webhook_configs: [{{url: "http://127.0.0.1:{webhook.server_address[1]}/", send_resolved: true}}]
""")
    start("node-exporter", ["prometheus-node-exporter", f"--web.listen-address=127.0.0.1:{node}",
                            "--collector.disable-defaults", "--collector.textfile",
                            f"--collector.textfile.directory={textfiles}"])
    start("alertmanager", ["prometheus-alertmanager", f"--config.file={work}/alertmanager.yml",
                           f"--storage.path={work}/alertmanager", f"--web.listen-address=127.0.0.1:{alertmanager}",
                           "--cluster.listen-address="])
    start("prometheus", ["prometheus", f"--config.file={work}/prometheus.yml", f"--storage.tsdb.path={work}/tsdb",
                         f"--web.listen-address=127.0.0.1:{prometheus}"])

    def drive_alerts(status):
        with received_lock:
            return [a for a in received
                    if a["labels"].get("alertname") == "KivoDriveOutOfService" and a["status"] == status]

    last_write = [0.0]

    def keep_writing_until(what, condition):
        def step():
            if time.monotonic() - last_write[0] >= 1:  # the timer's minute, made a second
                write_metrics()
                last_write[0] = time.monotonic()
            return condition()
        wait_until(what, step)

    control = dict(env=env, check=True, timeout=20, stdout=subprocess.DEVNULL)
    subprocess.run([emulator, "ctl", "fail-drive", "0", "1"], **control)
    keep_writing_until("the drive's alert", lambda: drive_alerts("firing"))
    labels = drive_alerts("firing")[0]["labels"]
    expected = {"severity": "critical", "controller": "0", "unit": "0", "member": "1", "port": "1",
                "status": "Not in Service", "instance": f"127.0.0.1:{node}", "job": "node"}
    wrong = {k: (labels.get(k), v) for k, v in expected.items() if labels.get(k) != v}
    if wrong:
        raise AssertionError(f"labels (got, wanted): {wrong}")
    with received_lock:
        if any(a["labels"].get("alertname") not in ("KivoDriveOutOfService", "KivoUnitNeedsAttention")
               for a in received):
            raise AssertionError(f"unexpected alerts: {received}")

    for command in ("rebuild-start", "rebuild-finish"):
        subprocess.run([emulator, "ctl", command, "0", "0"], **control)
    keep_writing_until("the drive's alert resolved", lambda: drive_alerts("resolved"))
    print(f"alert fired and resolved; {len(received)} alert notification(s) received")


work = tempfile.mkdtemp(prefix="kivo-alerting.")
processes = []
status = 0
try:
    main(work, processes)
except (AssertionError, TimeoutError, subprocess.SubprocessError) as error:
    print(f"FAILED: {error}", file=sys.stderr)
    for name, _ in processes:
        with open(f"{work}/{name}.log") as log:
            print(f"--- {name}\n" + log.read()[-2000:], file=sys.stderr)
    status = 1
finally:
    for _, process in reversed(processes):
        process.terminate()
    for _, process in processes:
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
    shutil.rmtree(work, ignore_errors=True)
sys.exit(status)
