"""A headless sway session: swaybar's StatusNotifierItem tray (started by
the test, so that it can come after the utility), mako as the notification
daemon, Xwayland only on demand. Focus, urgency and workspaces come from
swaymsg, the tray item from the session bus, pictures from grim; the pointer
and the keys come from wayvnc's virtual devices.
"""

import json
import os
import socket
import struct
import subprocess

from harness import Bus, BusMonitor, CheckFailed, Processes, Utility, read, run, wait_for

OTHER_TITLE = "Other Program"
COVERING_TITLE = "Covering Program"
FULLSCREEN_TITLE = "Fullscreen Program"

CONFIG = """\
output HEADLESS-1 resolution 1280x1024 position 0 0
xwayland enable
# Windows of other programs the tests open: one floating over the middle of
# the screen, one full-screen.
for_window [title="^{covering}$"] floating enable, resize set 1100 900, move position center
for_window [title="^{fullscreen}$"] fullscreen enable
bar {{
  id kivo-tray
  position top
  font monospace 10
  # The test starts swaybar itself, so that the tray can come after the utility.
  swaybar_command true
  tray_output *
}}
exec env > {env_file}
"""


class VncInput:
    """The least of a VNC client: the pointer's moves and buttons, and keys.
    wayvnc turns them into a virtual pointer and a virtual keyboard that stay
    while the client is connected (a keyboard that comes and goes with each
    key would take the focus from the window each time)."""

    BUTTONS = {"left": 1, "middle": 2, "right": 4}
    KEYSYMS = {"Tab": 0xFF09, "Return": 0xFF0D, "Escape": 0xFF1B, "space": 0x20, "alt": 0xFFE9, "shift": 0xFFE1,
               "ctrl": 0xFFE3, "F4": 0xFFC1, "F10": 0xFFC7, "Down": 0xFF54, "Up": 0xFF52}

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(path)
        self._exact(12)  # the server's protocol version
        self.sock.sendall(b"RFB 003.008\n")
        count = self._exact(1)[0]
        if count == 0:
            raise CheckFailed("wayvnc refused: " + self._exact(struct.unpack(">I", self._exact(4))[0]).decode())
        if 1 not in self._exact(count):
            raise CheckFailed("wayvnc asks for authentication")
        self.sock.sendall(b"\x01")  # no authentication
        if struct.unpack(">I", self._exact(4))[0] != 0:
            raise CheckFailed("wayvnc refused the connection")
        self.sock.sendall(b"\x01")  # shared
        self._exact(4 + 16)  # size and pixel format
        self._exact(struct.unpack(">I", self._exact(4))[0])  # the desktop's name

    def _exact(self, n):
        data = b""
        while len(data) < n:
            part = self.sock.recv(n - len(data))
            if not part:
                raise ConnectionError("wayvnc closed the connection")
            data += part
        return data

    def _send(self, mask, x, y):
        self.sock.sendall(struct.pack(">BBHH", 5, mask, x, y))

    def click(self, x, y, button):
        self._send(0, x, y)
        self._send(self.BUTTONS[button], x, y)
        self._send(0, x, y)

    def key(self, combination):
        """'Tab', 'alt+F4', 'x': held in order, let go in reverse."""
        syms = [self.KEYSYMS.get(name, ord(name[0]) if len(name) == 1 else None)
                for name in combination.split("+")]
        if None in syms:
            raise CheckFailed(f"no key {combination!r}")
        for sym in syms:
            self.sock.sendall(struct.pack(">BBxxI", 4, 1, sym))
        for sym in reversed(syms):
            self.sock.sendall(struct.pack(">BBxxI", 4, 0, sym))


class SwaySession:
    def __init__(self, work, bin_dir, tests_dir):
        self.dir = os.path.join(work, "sway")
        self.run_dir = os.path.join(self.dir, "run")
        os.makedirs(self.run_dir, mode=0o700)
        os.chmod(self.run_dir, 0o700)
        os.makedirs(os.path.join(self.dir, "cwd"))
        self.tests_dir = tests_dir
        self.procs = Processes(self.dir)
        home = os.path.join(work, "home")
        self.base_env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "HOME": home,
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": self.run_dir,
            "XDG_CONFIG_HOME": os.path.join(home, ".config-sway"),
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.run_dir}/bus",
            "KIVO_REGISTRY_DIR": os.path.join(self.dir, "registry"),
            "KIVO_TIME_SCALE": "90",
            "KIVO_EDITOR": "true",
            "KIVO_SOUND_DEVICE": "none",
        }
        self.env = dict(self.base_env)
        self.utility = Utility(bin_dir, self.procs, self.env, os.path.join(self.dir, "cwd"))
        self.bus = None
        self.monitor = None
        self.swaybar = None
        self.input = None
        self.others = []

    # --- start and stop -------------------------------------------------
    def start(self):
        self.procs.start("dbus", ["dbus-daemon", "--session", f"--address={self.env['DBUS_SESSION_BUS_ADDRESS']}",
                                  "--nofork", "--nopidfile"], self.base_env)
        wait_for("the session bus", lambda: os.path.exists(os.path.join(self.run_dir, "bus")), 20)
        self.bus = wait_for("a connection to the session bus", lambda: Bus(self.env["DBUS_SESSION_BUS_ADDRESS"]), 20)
        self.monitor = BusMonitor(self.env["DBUS_SESSION_BUS_ADDRESS"])
        env_file = os.path.join(self.dir, "sway.env")
        config = os.path.join(self.dir, "sway.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(covering=COVERING_TITLE, fullscreen=FULLSCREEN_TITLE, env_file=env_file))
        sway_env = dict(self.base_env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                        WLR_RENDERER="pixman")
        self.sway = self.procs.start("sway", ["sway", "-c", config], sway_env)
        # The environment sway gives the programs it starts: WAYLAND_DISPLAY,
        # SWAYSOCK and the DISPLAY of its Xwayland on demand.
        text = wait_for("sway's environment for its programs", lambda: read(env_file), 30,
                        lambda t: "SWAYSOCK=" in t and "WAYLAND_DISPLAY=" in t and "DISPLAY=:" in t,
                        show=lambda t: t + "\n--- sway log:\n" + read(self.sway.log)[-3000:])
        for line in text.splitlines():
            key, _, value = line.partition("=")
            if key in ("WAYLAND_DISPLAY", "SWAYSOCK", "DISPLAY"):
                self.env[key] = value
        self.env["XDG_SESSION_TYPE"] = "wayland"
        self.env["XDG_CURRENT_DESKTOP"] = "sway"
        wait_for("swaymsg answers", lambda: self.swaymsg("-t", "get_version"), 20, lambda r: '"major"' in r)
        self.start_input()
        self.procs.start("mako", ["mako"], self.env)
        wait_for("mako owns org.freedesktop.Notifications", lambda: self.bus.owner("org.freedesktop.Notifications"),
                 20)
        self.enable_accessibility()
        self.utility.start_emulator()

    def enable_accessibility(self):
        """As a screen reader does: the accessibility bus on, before the
        programs start."""
        from gi.repository import GLib
        self.bus.call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                      GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))))

    def stop(self):
        if self.monitor:
            self.monitor.close()
        if self.bus:
            self.bus.close()
        self.procs.stop_all()

    # --- the compositor -------------------------------------------------
    def swaymsg(self, *args):
        _, out = run(["swaymsg", *args], self.env)
        return out

    def command(self, text):
        out = self.swaymsg(text)
        if '"success": true' not in out:
            raise CheckFailed(f"swaymsg {text!r}: {out}")

    def tree(self):
        return json.loads(self.swaymsg("-t", "get_tree", "-r"))

    def views(self):
        """Every window, with its workspace: name, app_id, pid, focused,
        urgent, visible, fullscreen, floating, shell."""
        found = []

        def walk(node, workspace, floating):
            if node.get("type") == "workspace":
                workspace = node
            if node.get("pid") is not None and node.get("type") in ("con", "floating_con"):
                found.append({
                    "name": node.get("name"), "app_id": node.get("app_id"), "pid": node.get("pid"),
                    "focused": node.get("focused"), "urgent": node.get("urgent"), "visible": node.get("visible"),
                    "fullscreen": node.get("fullscreen_mode"), "floating": floating, "shell": node.get("shell"),
                    "workspace": workspace.get("name") if workspace else None,
                    "workspace_urgent": workspace.get("urgent") if workspace else None, "id": node.get("id"),
                })
            for child in node.get("nodes", []):
                walk(child, workspace, floating)
            for child in node.get("floating_nodes", []):
                walk(child, workspace, True)

        walk(self.tree(), None, False)
        return found

    def view(self, title):
        matches = [v for v in self.views() if v["name"] == title]
        return matches[0] if matches else None

    def workspaces(self):
        return json.loads(self.swaymsg("-t", "get_workspaces", "-r"))

    def show_views(self, _value=None):
        """The windows as sway sees them, for a failure's text."""
        rows = [f"  {v['name']!r} app_id={v['app_id']} pid={v['pid']} ws={v['workspace']}"
                f" focused={v['focused']} urgent={v['urgent']} visible={v['visible']} fullscreen={v['fullscreen']}"
                f" floating={v['floating']} shell={v['shell']}" for v in self.views()]
        spaces = [f"  workspace {w['name']}: focused={w['focused']} urgent={w['urgent']} visible={w['visible']}"
                  for w in self.workspaces()]
        return "windows:\n" + ("\n".join(rows) or "  (none)") + "\n" + "\n".join(spaces)

    def open_other(self, title, *switches):
        """Another program's window, focused; returns its process."""
        proc = self.procs.start("other-" + title.split()[0].lower(),
                                ["/usr/bin/python3", os.path.join(self.tests_dir, "other_program.py"), title,
                                 *switches], dict(self.env, GDK_BACKEND="wayland"))
        self.others.append(proc)
        wait_for(f"{title!r} opens and has the focus", lambda: self.view(title), 30,
                 lambda v: v is not None and v["focused"], show=lambda _: self.show_views())
        return proc

    def between_checks(self):
        """Every check starts on workspace 1 with no other program open."""
        for proc in self.others:
            self.procs.stop(proc)
        self.others.clear()
        wait_for("the other programs' windows close", self.views, 10,
                 lambda views: all(v["app_id"] != "other_program.py" for v in views), show=self.show_views)
        self.command("workspace 1")

    def focus(self, title):
        self.command(f'[title="^{title}$"] focus')
        wait_for(f"{title!r} has the focus", lambda: self.view(title), 10, lambda v: v and v["focused"],
                 show=lambda _: self.show_views())

    def start_input(self):
        """The pointer and the keyboard: headless sway has no input device of
        its own; wayvnc's virtual ones are driven over its socket."""
        socket_path = os.path.join(self.run_dir, "vnc")
        self.procs.start("wayvnc", ["wayvnc", "--unix-socket", socket_path], self.env)
        self.input = wait_for("wayvnc takes a client", lambda: VncInput(socket_path), 20)
        wait_for("the seat has a keyboard and a pointer", lambda: self.swaymsg("-t", "get_seats", "-r"), 10,
                 lambda seats: json.loads(seats)[0]["capabilities"] == 3)

    def key(self, *keys):
        """Keys typed into the focused window ('Tab', 'alt+F4')."""
        for key in keys:
            self.input.key(key)

    def click(self, x, y, button="left"):
        """A click with the pointer at (x, y)."""
        self.input.click(x, y, button)

    def screenshot(self, x, y, width, height):
        """The pixels of a region as rows of (r, g, b)."""
        data = subprocess.run(["grim", "-t", "ppm", "-g", f"{x},{y} {width}x{height}", "-"], env=self.env,
                              capture_output=True, timeout=30).stdout
        # P6\nW H\n255\n then the pixels.
        header_end = 0
        fields = []
        while len(fields) < 4:
            start = header_end
            while data[header_end:header_end + 1] not in (b" ", b"\n"):
                header_end += 1
            fields.append(data[start:header_end])
            header_end += 1
        w, h = int(fields[1]), int(fields[2])
        pixels = data[header_end:]
        return [[struct.unpack_from("BBB", pixels, (row * w + col) * 3) for col in range(w)] for row in range(h)]

    # --- the tray -------------------------------------------------------
    def ensure_tray(self):
        if self.swaybar is None:
            self.start_tray()

    def start_tray(self):
        self.swaybar = self.procs.start("swaybar", ["swaybar", "-b", "kivo-tray"], self.env)
        wait_for("swaybar's tray is the StatusNotifierWatcher",
                 lambda: self.bus.owner("org.kde.StatusNotifierWatcher"), 20)

    def tray_items(self):
        """The items the tray shows, each as (bus name, path, pid)."""
        items = []
        for entry in self.bus.get("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                  "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"):
            service, slash, path = entry.partition("/")
            path = "/" + path if slash else "/StatusNotifierItem"
            try:
                pid = self.bus.pid_of(service)
            except Exception:
                pid = None
            items.append((service, path, pid))
        return items

    def utility_item(self):
        pid = self.utility.kivo.pid
        for service, path, item_pid in self.tray_items():
            if item_pid == pid:
                return service, path
        return None

    def item_properties(self):
        self.ensure_tray()
        item = self.utility_item()
        if item is None:
            raise CheckFailed(f"the utility has no tray item; the tray has {self.tray_items()}")
        props = self.bus.get_all(item[0], item[1], "org.kde.StatusNotifierItem")
        return item, props

    def tray_icon_position(self):
        """The middle of the rightmost icon in the bar (the tray is at the
        right end), found in a picture of the bar."""
        self.ensure_tray()
        rows = self.screenshot(0, 0, 1280, 40)
        background = (0, 0, 0)  # swaybar's default
        height = 0
        while height < len(rows) and rows[height][640] == rows[0][640]:
            height += 1
        columns = [x for x in range(1279, 640, -1)
                   if any(rows[y][x] != background for y in range(height))]
        if not columns:
            raise CheckFailed(f"no icon in the bar (bar {height} px high)")
        right = columns[0]
        left = right
        while left - 1 in columns:
            left -= 1
        return (left + right) // 2, height // 2

    def describe(self):
        return self.show_views() + "\n--- kivo's output:\n" + self.utility.log()[-2000:]
