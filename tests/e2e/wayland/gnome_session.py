"""A headless GNOME Shell session, the default desktop, without a tray: the
shell with a virtual monitor, an empty second bus as the system bus (the
panel needs one), and a test-only extension that turns on the shell's unsafe
mode so that org.gnome.Shell.Eval answers. Windows (focus, urgency,
stacking) and the shell's notifications come from Eval; the keys from a
virtual keyboard made through Eval.
"""

import json
import os
import shutil

from gi.repository import GLib

from harness import Bus, BusMonitor, CheckFailed, Processes, Utility, read, short, wait_for

EXTENSION_UUID = "kivo-session-test@kivo.invalid"
EXTENSION_JS = """\
// Test-only: lets the session tests use org.gnome.Shell.Eval.
class Extension {
  enable() { global.context.unsafe_mode = true; }
  disable() { global.context.unsafe_mode = false; }
}
function init() { return new Extension(); }
"""
SYSTEM_BUS_CONFIG = """\
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>
"""
# Every window the shell manages, bottom to top.
WINDOWS_JS = """
global.display.sort_windows_by_stacking(global.get_window_actors().map(a => a.meta_window))
  .filter(w => w.get_wm_class() !== 'Gnome-shell')
  .map(w => ({title: w.get_title(), wm_class: w.get_wm_class(), pid: w.get_pid(), focus: w.has_focus(),
              urgent: w.urgent, attention: w.demands_attention, hidden: w.is_hidden(),
              workspace: w.get_workspace() ? w.get_workspace().index() : -1,
              wayland: w.get_client_type() === imports.gi.Meta.WindowClientType.WAYLAND,
              fullscreen: w.is_fullscreen()}))
"""
# The notifications the shell shows, by source.
NOTIFICATIONS_JS = """
imports.ui.main.messageTray.getSources().map(s => ({source: s.title,
  notifications: s.notifications.map(n => ({title: n.title, body: n.bannerBodyText, urgency: n.urgency}))}))
"""


class GnomeSession:
    def __init__(self, work, bin_dir, tests_dir):
        self.dir = os.path.join(work, "gnome")
        self.run_dir = os.path.join(self.dir, "run")
        os.makedirs(self.run_dir, mode=0o700)
        os.chmod(self.run_dir, 0o700)
        os.makedirs(os.path.join(self.dir, "cwd"))
        self.tests_dir = tests_dir
        self.procs = Processes(self.dir)
        home = os.path.join(work, "home")
        config = os.path.join(home, ".config-gnome")
        self.env = {
            # The build's programs first: the menu entry runs "kivo -max".
            "PATH": f"{bin_dir}:/usr/local/bin:/usr/bin:/bin",
            "HOME": home,
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": self.run_dir,
            "XDG_CONFIG_HOME": config,
            "XDG_DATA_HOME": os.path.join(home, ".local-gnome"),
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.run_dir}/bus",
            "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={self.run_dir}/system_bus_socket",
            # The settings in a file of the test's own (no dconf service).
            "GSETTINGS_BACKEND": "keyfile",
            "XDG_SESSION_TYPE": "wayland",
            "XDG_CURRENT_DESKTOP": "GNOME",
            "KIVO_REGISTRY_DIR": os.path.join(self.dir, "registry"),
            "KIVO_TIME_SCALE": "90",
            "KIVO_EDITOR": "true",
            "KIVO_SOUND_DEVICE": "none",
        }
        self.utility = Utility(bin_dir, self.procs, self.env, os.path.join(self.dir, "cwd"))
        self.others = []
        self.bus = None
        self.monitor = None

    def start(self):
        # The package's menu entry, where the shell's applications menu finds it.
        applications = os.path.join(self.env["XDG_DATA_HOME"], "applications")
        os.makedirs(applications)
        shutil.copy(os.path.join(self.tests_dir, "kivo.desktop"), applications)
        extension = os.path.join(self.env["XDG_DATA_HOME"], "gnome-shell", "extensions", EXTENSION_UUID)
        os.makedirs(extension)
        with open(os.path.join(extension, "metadata.json"), "w") as f:
            json.dump({"uuid": EXTENSION_UUID, "name": "Kivo session test", "shell-version": ["43"],
                       "description": "Turns on unsafe mode for the session tests."}, f)
        with open(os.path.join(extension, "extension.js"), "w") as f:
            f.write(EXTENSION_JS)
        settings = os.path.join(self.env["XDG_CONFIG_HOME"], "glib-2.0", "settings")
        os.makedirs(settings)
        with open(os.path.join(settings, "keyfile"), "w") as f:
            f.write(f"[org/gnome/shell]\nenabled-extensions=['{EXTENSION_UUID}']\n")
        system_conf = os.path.join(self.dir, "system-bus.conf")
        with open(system_conf, "w") as f:
            f.write(SYSTEM_BUS_CONFIG.format(socket=os.path.join(self.run_dir, "system_bus_socket")))
        self.procs.start("system-bus", ["dbus-daemon", f"--config-file={system_conf}", "--nofork", "--nopidfile"],
                         self.env)
        self.procs.start("dbus", ["dbus-daemon", "--session", f"--address={self.env['DBUS_SESSION_BUS_ADDRESS']}",
                                  "--nofork", "--nopidfile"], self.env)
        wait_for("the two buses", lambda: all(os.path.exists(os.path.join(self.run_dir, s))
                                              for s in ("bus", "system_bus_socket")), 20)
        self.bus = wait_for("a connection to the session bus", lambda: Bus(self.env["DBUS_SESSION_BUS_ADDRESS"]), 20)
        self.monitor = BusMonitor(self.env["DBUS_SESSION_BUS_ADDRESS"])
        self.shell = self.procs.start("gnome-shell", ["gnome-shell", "--headless", "--wayland", "--virtual-monitor",
                                                      "1280x1024"], self.env)
        wait_for("the shell answers Eval (unsafe mode on)", lambda: self.eval("global.context.unsafe_mode"), 60,
                 lambda v: v is True, show=lambda v: f"{v}\n--- gnome-shell's log:\n{read(self.shell.log)[-3000:]}")
        wait_for("the shell's start-up is over", lambda: self.eval("imports.ui.main.layoutManager._startingUp"), 60,
                 lambda v: v is False)
        # The overview opens at start-up; a window opened in it may stay there.
        wait_for("the overview is hidden",
                 lambda: self.eval("imports.ui.main.overview.hide(); imports.ui.main.overview.visible"), 20,
                 lambda v: v is False)
        # The programs get the displays the shell gives the programs it starts
        # (DISPLAY and XAUTHORITY name its Xwayland).
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "XAUTHORITY"):
            value = self.eval(f"imports.gi.GLib.getenv('{name}')")
            if value:
                self.env[name] = value
        # The virtual keyboard is made early: its first key is lost.
        self.eval("const C = imports.gi.Clutter; global.__kivoKeys = C.get_default_backend().get_default_seat()"
                  ".create_virtual_device(C.InputDeviceType.KEYBOARD_DEVICE); true")
        self.key("Shift_L")
        self.utility.start_emulator()

    def stop(self):
        if self.monitor:
            self.monitor.close()
        if self.bus:
            self.bus.close()
        self.procs.stop_all()

    def eval(self, code):
        ok, result = self.bus.call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval",
                                   GLib.Variant("(s)", (code,)), "(bs)", timeout=10)
        if not ok:
            raise CheckFailed(f"Eval refused or failed: {result}")
        return json.loads(result) if result else None

    def windows(self):
        return self.eval(WINDOWS_JS)

    def window(self, title):
        matches = [w for w in self.windows() if w["title"] == title]
        return matches[-1] if matches else None

    def shell_notifications(self):
        return self.eval(NOTIFICATIONS_JS)

    def show_windows(self, _value=None):
        rows = [f"  {w['title']!r} class={w['wm_class']} pid={w['pid']} focus={w['focus']} urgent={w['urgent']}"
                f" demands_attention={w['attention']} hidden={w['hidden']} workspace={w['workspace']}"
                f" wayland={w['wayland']} fullscreen={w['fullscreen']}" for w in self.windows()]
        return "windows, bottom to top:\n" + ("\n".join(rows) or "  (none)")

    def describe(self):
        return (self.show_windows() + "\n--- the shell's notifications:\n" + short(self.shell_notifications())
                + "\n--- kivo's output:\n" + self.utility.log()[-2000:])

    def key(self, *keys):
        """Keys on the virtual keyboard: names of Clutter's KEY_ constants,
        'alt+F4' for a modifier held."""
        for key in keys:
            names = key.replace("alt", "Alt_L").replace("shift", "Shift_L").replace("ctrl", "Control_L").split("+")
            js = ["const C = imports.gi.Clutter; let t = imports.gi.GLib.get_monotonic_time();"]
            for name in names:
                js.append(f"global.__kivoKeys.notify_keyval(t++, C.KEY_{name}, C.KeyState.PRESSED);")
            for name in reversed(names):
                js.append(f"global.__kivoKeys.notify_keyval(t++, C.KEY_{name}, C.KeyState.RELEASED);")
            js.append("true")
            self.eval(" ".join(js))

    def activate(self, title):
        """The window brought to the front and focused, as a click on it does."""
        self.eval("global.get_window_actors().map(a => a.meta_window)"
                  f".filter(w => w.get_title() === {json.dumps(title)})"
                  ".forEach(w => w.activate(global.get_current_time())); true")
        wait_for(f"{title!r} has the focus", lambda: self.window(title), 10, lambda w: w and w["focus"],
                 show=self.show_windows)

    def open_other(self, title):
        proc = self.procs.start("other-" + title.split()[0].lower(),
                                ["/usr/bin/python3", os.path.join(self.tests_dir, "other_program.py"), title],
                                dict(self.env, GDK_BACKEND="wayland"))
        self.others.append(proc)
        wait_for(f"{title!r} opens and has the focus", lambda: self.window(title), 30, lambda w: w and w["focus"],
                 show=self.show_windows)
        return proc

    def between_checks(self):
        for proc in self.others:
            self.procs.stop(proc)
        self.others.clear()
