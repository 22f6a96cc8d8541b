"""What the desktop session tests share: waits by condition with a deadline,
the processes a session starts, the session bus (calls and a monitor that
records the notification, tray item and menu traffic), the emulator and the
utility as a user starts them, and the list of checks with what each saw.

Runs as the throwaway user of scripts/wayland-session-test.sh, with Debian's
python3 (python3-gi for D-Bus, python3-pyatspi for the accessibility tree).
"""

import json
import os
import signal
import subprocess
import threading
import time
import traceback

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

MAIN_TITLE = "Kivo Disk Management Utility"
ALERT_TITLE = "Kivo - Event Notification Message"
PROGRAM_NAME = "Kivo Disk Management Utility"
WATCHING_BODY = (
    "Kivo Disk Management Utility is watching the Zelka controllers. This desktop has no"
    " notification area: to open the utility's window, choose Kivo Disk Management Utility in"
    " the applications menu, or run kivo -max."
)
# Events the emulator queues (ctl aen CONTROLLER CODE UNIT-OR-PORT): a warning
# and an error of the event catalogue, as the alert window words them.
WARNING_EVENT = ("0 9 1", "Drive timeout encountered on unit 1 on controller ID:0.")
ERROR_EVENT = ("0 10 1", "Drive error encountered on unit 1 on controller ID:0.")

# Bounds of the waits; KIVO_SESSION_TIME_FACTOR stretches them on a loaded machine.
TIME_FACTOR = float(os.environ.get("KIVO_SESSION_TIME_FACTOR", "1") or "1")


class CheckFailed(Exception):
    """A check saw something else than it expected; the text says what it saw."""


def short(value, limit=1500):
    text = value if isinstance(value, str) else json.dumps(value, default=str, indent=1)
    return text if len(text) <= limit else text[:limit] + f" ... ({len(text)} characters)"


def wait_for(what, probe, timeout, accept=bool, show=short):
    """Calls probe until accept(its value) holds, at most `timeout` seconds
    (times TIME_FACTOR); returns the value. On the deadline raises CheckFailed
    with the last value seen. A probe that raises counts as not yet."""
    deadline = time.monotonic() + timeout * TIME_FACTOR
    while True:
        try:
            value = probe()
        except Exception as error:  # not yet, or the probe's tool failed: reported if it stays so
            value = f"{type(error).__name__}: {error}"
            ok = False
        else:
            try:
                ok = bool(accept(value))
            except Exception:  # a value of another shape than the one awaited
                ok = False
        if ok:
            return value
        if time.monotonic() >= deadline:
            raise CheckFailed(f"{what}: not within {timeout * TIME_FACTOR:g} s; last seen:\n{shown(show, value)}")
        time.sleep(0.05)


def shown(show, value):
    """What a check saw, even where looking again fails."""
    try:
        return show(value)
    except Exception as error:
        return f"{short(value)}\n(and looking again failed: {type(error).__name__}: {error})"


def holds(what, probe, seconds, accept=bool, show=short):
    """Fails as soon as accept(probe()) is false during `seconds` (not
    stretched: a quiet period, not a wait for something)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if not accept(value):
            raise CheckFailed(f"{what}; seen:\n{shown(show, value)}")
        time.sleep(0.05)


def expect(condition, what, seen):
    if not condition:
        raise CheckFailed(f"{what}; seen:\n{short(seen)}")


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError as error:
        return f"({error})"


class Processes:
    """The processes a session started, each in a process group of its own,
    ended in reverse order by their ids."""

    def __init__(self, logs):
        self.logs = logs
        self.started = []

    def start(self, name, argv, env, cwd=None):
        log = os.path.join(self.logs, name + ".log")
        with open(log, "ab") as out:
            proc = subprocess.Popen(
                argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                start_new_session=True,
            )
        proc.log = log
        proc.name = name
        self.started.append(proc)
        return proc

    def stop(self, proc, timeout=10):
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        else:
            # Its children (a group of its own) may outlive it.
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except (ProcessLookupError, PermissionError):
                pass
        if proc in self.started:
            self.started.remove(proc)

    def stop_all(self):
        for proc in reversed(list(self.started)):
            self.stop(proc)


def run(argv, env, timeout=30, check=False):
    """Runs a command to its end; its status and output (merged)."""
    try:
        done = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=timeout * TIME_FACTOR)
    except subprocess.TimeoutExpired as late:
        out = (late.stdout or b"").decode(errors="replace") + (late.stderr or b"").decode(errors="replace")
        raise CheckFailed(f"{' '.join(argv)} did not end within {timeout * TIME_FACTOR:g} s:\n{short(out)}")
    out = done.stdout + done.stderr
    if check and done.returncode != 0:
        raise CheckFailed(f"{' '.join(argv)} ended with {done.returncode}:\n{short(out)}")
    return done.returncode, out


def processes_named(name, uid=None):
    """(pid, command line) of the processes whose program is `name`."""
    uid = os.getuid() if uid is None else uid
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.stat(f"/proc/{entry}").st_uid != uid:
                continue
            with open(f"/proc/{entry}/comm") as f:
                comm = f.read().strip()
            if comm != name:
                continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                found.append((int(entry), f.read().replace(b"\0", b" ").decode(errors="replace").strip()))
        except OSError:
            continue
    return found


class Bus:
    """A connection to a session bus for calls."""

    def __init__(self, address):
        self.address = address
        self.pids = {}
        self.conn = Gio.DBusConnection.new_for_address_sync(
            address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None, None)

    def call(self, dest, path, interface, method, args=None, reply=None, timeout=5.0):
        result = self.conn.call_sync(dest, path, interface, method, args,
                                     GLib.VariantType(reply) if reply else None,
                                     Gio.DBusCallFlags.NONE, int(timeout * 1000 * TIME_FACTOR), None)
        return result.unpack() if result is not None else None

    def get(self, dest, path, interface, prop):
        return self.call(dest, path, "org.freedesktop.DBus.Properties", "Get",
                         GLib.Variant("(ss)", (interface, prop)))[0]

    def get_all(self, dest, path, interface):
        return self.call(dest, path, "org.freedesktop.DBus.Properties", "GetAll",
                         GLib.Variant("(s)", (interface,)))[0]

    def owner(self, name):
        try:
            return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                             "GetNameOwner", GLib.Variant("(s)", (name,)))[0]
        except GLib.Error:
            return None

    def names_of(self, pid, candidates):
        """Those of the unique names that belong to the process."""
        names = set()
        for name in set(candidates):
            try:
                if self.pid_of(name) == pid:
                    names.add(name)
            except GLib.Error:
                pass
        return names

    def pid_of(self, name):
        # A unique name is never given twice on a bus: its process stays.
        if name.startswith(":") and name in self.pids:
            return self.pids[name]
        pid = self._pid_of(name)
        if name.startswith(":"):
            self.pids[name] = pid
        return pid

    def _pid_of(self, name):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)))[0]

    def close(self):
        self.conn.close_sync(None)


class BusMonitor:
    """Records, from the moment it starts, every call and signal of the
    notification, tray item and D-Bus menu interfaces on a bus, with the
    replies to those calls (what dbus-monitor shows, kept as values)."""

    INTERFACES = ("org.freedesktop.Notifications", "org.kde.StatusNotifierItem", "com.canonical.dbusmenu",
                  "org.kde.StatusNotifierWatcher")

    def __init__(self, address):
        self.lock = threading.Lock()
        self.events = []
        self.calls = {}
        self.conn = Gio.DBusConnection.new_for_address_sync(
            address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None, None)
        self.unique = self.conn.get_unique_name()
        self.conn.add_filter(self._filter)
        rules = [f"interface='{i}'" for i in self.INTERFACES] + ["type='method_return'", "type='error'"]
        self.conn.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Monitoring",
                            "BecomeMonitor", GLib.Variant("(asu)", (rules, 0)), None, Gio.DBusCallFlags.NONE,
                            5000, None)

    def _filter(self, _conn, message, incoming):
        if not incoming or message.get_destination() == self.unique:
            return message  # the bus's answers to this connection itself
        try:
            kind = message.get_message_type()
            if kind in (Gio.DBusMessageType.METHOD_CALL, Gio.DBusMessageType.SIGNAL):
                if message.get_interface() in self.INTERFACES:
                    body = message.get_body()
                    event = {
                        "kind": "call" if kind == Gio.DBusMessageType.METHOD_CALL else "signal",
                        "time": time.monotonic(), "sender": message.get_sender(),
                        "destination": message.get_destination(), "path": message.get_path(),
                        "interface": message.get_interface(), "member": message.get_member(),
                        "args": body.unpack() if body is not None else (), "reply": None,
                        "no_reply_expected": bool(message.get_flags() & Gio.DBusMessageFlags.NO_REPLY_EXPECTED),
                    }
                    with self.lock:
                        self.events.append(event)
                        if event["kind"] == "call":
                            self.calls[(message.get_sender(), message.get_serial())] = event
            elif kind in (Gio.DBusMessageType.METHOD_RETURN, Gio.DBusMessageType.ERROR):
                key = (message.get_destination(), message.get_reply_serial())
                with self.lock:
                    call = self.calls.pop(key, None)
                if call is not None:
                    body = message.get_body()
                    call["reply"] = {
                        "time": time.monotonic(),
                        "error": message.get_error_name() if kind == Gio.DBusMessageType.ERROR else None,
                        "args": body.unpack() if body is not None else (),
                    }
        except Exception:  # a message we cannot read must not end the monitor
            traceback.print_exc()
        return None  # a monitor never answers

    def select(self, member=None, interface=None, kind="call", since=0.0):
        with self.lock:
            return [dict(e) for e in self.events
                    if (member is None or e["member"] == member) and (interface is None or e["interface"] == interface)
                    and e["kind"] == kind and e["time"] >= since]

    def notifications(self, since=0.0, senders=None):
        """The Notify calls since then (of these senders only, when given),
        each as a record with its id (None until the daemon answered)."""
        found = []
        for e in self.select("Notify", "org.freedesktop.Notifications", since=since):
            if senders is not None and e["sender"] not in senders:
                continue
            app, replaces, icon, summary, body, actions, hints, timeout = e["args"]
            reply = e["reply"]
            found.append({
                "app_name": app, "replaces_id": replaces, "app_icon": icon, "summary": summary, "body": body,
                "actions": list(actions), "hints": hints, "expire_timeout": timeout, "sender": e["sender"],
                "id": reply["args"][0] if reply and not reply["error"] else None,
                "error": reply["error"] if reply else None, "time": e["time"],
            })
        return found

    def close(self):
        self.conn.close_sync(None)


def utility_notifications(session, since=0.0):
    """The Notify calls the utility made (not those a daemon passes on)."""
    calls = session.monitor.notifications(since)
    mine = session.bus.names_of(session.utility.kivo.pid, [n["sender"] for n in calls])
    return [n for n in calls if n["sender"] in mine]


def show_notifications(session, since=0.0):
    calls = session.monitor.notifications(since)
    mine = session.bus.names_of(session.utility.kivo.pid, [n["sender"] for n in calls])
    text = "\n".join(f"  Notify from {'the utility' if n['sender'] in mine else n['sender']}:"
                     f" replaces_id={n['replaces_id']} summary={n['summary']!r} body={n['body']!r}"
                     f" actions={n['actions']} hints={n['hints']} -> id {n['id']} {n['error'] or ''}" for n in calls)
    return "Notify calls:\n" + (text or "  (none)") + "\n" + session.describe()


def action_pairs(actions):
    return dict(zip(actions[0::2], actions[1::2]))


class Checks:
    """The checks run, in order; each prints what it saw when it fails."""

    def __init__(self, only=None):
        self.results = []
        self.only = only

    def selected(self, name):
        return not self.only or any(word in name for word in self.only)

    def run(self, name, body, *args):
        if not self.selected(name):
            return None
        started = time.monotonic()
        try:
            value = body(*args)
        except CheckFailed as failure:
            self._record(name, False, str(failure), started)
            return None
        except Exception:
            self._record(name, False, traceback.format_exc(), started)
            return None
        self._record(name, True, value if isinstance(value, str) else "", started)
        return value if value is not None else True

    def fail_all(self, names, why):
        for name in names:
            if self.selected(name):
                self._record(name, False, why, time.monotonic())

    def _record(self, name, ok, text, started):
        seconds = time.monotonic() - started
        self.results.append((name, ok, text))
        indented = "".join("\n        " + line for line in text.rstrip().splitlines())
        print(f"{'ok     ' if ok else 'FAILED '} {name} ({seconds:.1f} s){indented}", flush=True)

    def summary(self):
        passed = sum(1 for _, ok, _ in self.results if ok)
        failed = len(self.results) - passed
        return passed, failed


class Utility:
    """The emulator and the utility of one session, as a user runs them."""

    def __init__(self, bin_dir, procs, env, cwd):
        self.bin = bin_dir
        self.procs = procs
        self.env = env
        self.cwd = cwd
        self.kivo = None
        self.emulator = None

    def start_emulator(self):
        run([os.path.join(self.bin, "kivo-install")], self.env, check=True)
        self.emulator = self.procs.start("emulator", [os.path.join(self.bin, "zelka-emulator"), "--http-port", "0"],
                                         self.env)
        wait_for("the emulator says it is ready", lambda: read(self.emulator.log), 45,
                 lambda text: "ready" in text)

    def start(self, *switches, env=None):
        env = dict(env or self.env)
        if os.environ.get("KIVO_SESSION_WAYLAND_DEBUG"):  # the protocol in kivo.log, to see what it asks for
            env["WAYLAND_DEBUG"] = "client"
        self.kivo = self.procs.start("kivo", [os.path.join(self.bin, "kivo"), *switches], env, cwd=self.cwd)
        return self.kivo

    def ensure_started(self):
        """The utility runs (a check run alone starts it as the login does)."""
        if not self.running():
            self.start()
            wait_for("the utility listens for commands", lambda: [n for n in os.listdir(self.env["XDG_RUNTIME_DIR"])
                                                               if n.endswith(".command")], 30)

    def second_start(self, *switches, env=None):
        """A second start, which ends at once; its status and output."""
        return run([os.path.join(self.bin, "kivo"), *switches], env or self.env, timeout=30)

    def command(self, number, env=None):
        return run([os.path.join(self.bin, "kivo-command"), str(number)], env or self.env)

    def ctl(self, arguments):
        return run([os.path.join(self.bin, "zelka-emulator"), "ctl", *arguments.split()], self.env, check=True)

    def log(self):
        return read(self.kivo.log) if self.kivo else "(not started)"

    def running(self):
        return self.kivo is not None and self.kivo.poll() is None

    def stop(self):
        if self.kivo is not None:
            self.procs.stop(self.kivo)
