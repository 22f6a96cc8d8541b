"""The checks in headless sway, in the order a day goes: the utility starts
at login before the panel (no tray yet), the panel comes, the user opens
the menu, alarms come while the user works elsewhere, the menu entry is
used while the window is open behind another program."""

import json
import os
import time

from gi.repository import GLib

from harness import (ALERT_TITLE, ERROR_EVENT, MAIN_TITLE, PROGRAM_NAME, WARNING_EVENT, WATCHING_BODY, CheckFailed,
                     action_pairs, expect, holds, processes_named, read, run, short, show_notifications,
                     utility_notifications, wait_for)
from sway_session import COVERING_TITLE, FULLSCREEN_TITLE, OTHER_TITLE

MENU_LABELS = ["_View Alarms", "_About Kivo...", "(separator)", "E_xit"]


def reached(view):
    """The window is in front of the user, or the desktop marks it (or its
    workspace) as asking for attention."""
    return bool(view) and ((view["focused"] and view["visible"]) or view["urgent"] or view["workspace_urgent"])


def how(view):
    """How a window reached the user, for the check's note."""
    ways = [w for w, on in (("focused", view["focused"] and view["visible"]), ("urgent", view["urgent"]),
                            (f"workspace {view['workspace']} urgent", view["workspace_urgent"])) if on]
    return f"{view['name']!r}: " + (", ".join(ways) or "not reached")


class SwayChecks:
    def __init__(self, session):
        self.s = session
        self.u = session.utility

    def views_and_log(self, _value=None):
        return self.s.describe()

    # --- start-up without a tray ------------------------------------------
    def watching_notification_once(self):
        self.u.start()
        note = wait_for("a notification that the utility is watching, with the daemon's id",
                        lambda: [n for n in utility_notifications(self.s) if n["body"] == WATCHING_BODY], 20,
                        lambda found: found and found[0]["id"], show=lambda _: self.notify_calls())[0]
        expect(note["summary"] == PROGRAM_NAME, "the watching notification's summary names the program", note)
        holds("only one watching notification at start-up",
              lambda: [x for x in utility_notifications(self.s) if x["body"] == WATCHING_BODY], 1.5,
              lambda found: len(found) == 1, show=lambda _: self.notify_calls())
        return f"Notify {note['summary']!r} id {note['id']}, actions {note['actions']}"

    def notify_calls(self, since=0.0):
        return show_notifications(self.s, since)

    def command_without_display(self):
        env = {k: v for k, v in self.u.env.items() if k != "DISPLAY"}
        env["WAYLAND_DISPLAY"] = self.s.env["WAYLAND_DISPLAY"]
        wait_for("the utility listens for commands",
                 lambda: self.u.command(32778, env), 15, lambda r: r[0] == 0,  # E-mail setup
                 show=lambda r: f"kivo-command 32778 without DISPLAY: status {r[0] if isinstance(r, tuple) else r}:"
                                f" {r[1] if isinstance(r, tuple) else ''}")
        wait_for("the e-mail setup opens", lambda: self.s.view("Email Setup"), 15, show=self.views_and_log)
        self.s.focus("Email Setup")
        self.s.key("Escape")
        wait_for("Escape closes the e-mail setup", lambda: self.s.view("Email Setup"), 10, lambda v: v is None,
                 show=self.views_and_log)

    # --- the tray -----------------------------------------------------------
    def late_tray_gets_icon(self):
        self.s.start_tray()
        wait_for("the utility's item in the tray that started after it", self.s.utility_item, 15,
                 show=lambda _: f"tray items (bus name, path, pid): {self.s.tray_items()}; the utility's pid"
                                f" {self.u.kivo.pid}\n--- kivo's output:\n{self.u.log()[-1500:]}")
        wait_for("the icon drawn in the bar", self.s.tray_icon_position, 15)

    def item_names_program(self):
        _, props = self.s.item_properties()
        seen = {k: props.get(k) for k in ("Id", "Title", "Status", "Category", "ItemIsMenu", "Menu")}
        expect(props.get("Id") == PROGRAM_NAME and props.get("Title") == PROGRAM_NAME,
               f"Id and Title {PROGRAM_NAME!r}", seen)
        expect(props.get("Status") == "Active", "Status Active while no alarm runs", seen)
        return str(seen)

    def menu_layout(self):
        (service, _), props = self.s.item_properties()
        menu = props.get("Menu")
        expect(menu and menu != "/NO_DBUSMENU", "the item exports a D-Bus menu", {"Menu": menu})
        _, layout = self.s.bus.call(service, menu, "com.canonical.dbusmenu", "GetLayout",
                                    GLib.Variant("(iias)", (0, -1, [])))
        labels = []
        for child in layout[2]:
            _, item, _ = child
            labels.append("(separator)" if item.get("type") == "separator" else item.get("label"))
        expect(labels == MENU_LABELS, f"the menu's items {MENU_LABELS}", layout)
        return service, menu, layout

    def menu_exported(self):
        _, menu, _ = self.menu_layout()
        return f"Menu {menu}: {MENU_LABELS}"

    def menu_item_id(self, label):
        service, menu, layout = self.menu_layout()
        for child in layout[2]:
            ident, item, _ = child
            if item.get("label") == label:
                return service, menu, ident
        raise CheckFailed(f"no menu item {label!r}: {short(layout)}")

    def right_click_opens_no_window_of_its_own(self):
        x, y = wait_for("the icon in the bar", self.s.tray_icon_position, 15)
        since = time.monotonic()
        self.s.click(x, y, "right")
        call = wait_for("the tray asks the item for its menu (ContextMenu)",
                        lambda: self.s.monitor.select("ContextMenu", "org.kde.StatusNotifierItem", since=since), 10,
                        show=self.views_and_log)[0]
        answer = "no answer expected"
        if not call["no_reply_expected"]:
            reply = wait_for("the item answers the tray's ContextMenu call", lambda: self.s.monitor.select(
                "ContextMenu", "org.kde.StatusNotifierItem", since=since)[0]["reply"], 5,
                show=lambda _: f"no answer to ContextMenu{call['args']} from {call['sender']}\n" + self.s.describe())
            answer = f"answered in {reply['time'] - call['time']:.2f} s"
        # Whatever opened, the item keeps answering the tray.
        started = time.monotonic()
        try:
            self.status()
        except GLib.Error as error:
            raise CheckFailed(f"the item does not answer after the right button: {error.message}"
                              f" ({time.monotonic() - started:.1f} s)\n" + self.s.describe())
        # On Wayland the menu's entries are reached through the main window.
        wait_for("the main window opens", lambda: self.s.view(MAIN_TITLE), 15, show=self.views_and_log)
        holds("no window of the utility but its own titled windows",
              lambda: [v for v in self.s.views() if v["pid"] == self.u.kivo.pid and v["name"] not in
                       (MAIN_TITLE, ALERT_TITLE)], 1.0, lambda stray: not stray, show=self.views_and_log)
        self.close_main_window()
        return f"ContextMenu{call['args']} from the tray, {answer}; the main window opened"

    def close_main_window(self):
        self.s.focus(MAIN_TITLE)
        self.s.key("Escape")
        wait_for("Escape hides the main window", lambda: self.s.view(MAIN_TITLE), 10, lambda v: v is None,
                 show=self.views_and_log)

    def menu_view_alarms(self):
        """What a tray that shows the D-Bus menu sends when the entry is clicked."""
        service, menu, ident = self.menu_item_id("_View Alarms")
        self.s.bus.call(service, menu, "com.canonical.dbusmenu", "Event",
                        GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("i", 0), 0)))
        wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 15, show=self.views_and_log)
        wait_for("the item says NeedsAttention", self.status, 10, lambda s: s == "NeedsAttention")
        self.acknowledge()

    def status(self):
        return self.s.item_properties()[1].get("Status")

    def acknowledge(self):
        """OK in the alert window, from the keyboard."""
        self.s.focus(ALERT_TITLE)
        self.s.key("Return")
        wait_for("OK hides the alert window", lambda: self.s.view(ALERT_TITLE), 10, lambda v: v is None,
                 show=self.views_and_log)

    def alarm(self, event=WARNING_EVENT):
        since = time.monotonic()
        self.u.ctl("aen " + event[0])
        return since

    def alarm_needs_attention(self):
        since = self.alarm()
        wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.views_and_log)
        props = wait_for("the item says NeedsAttention", lambda: self.s.item_properties()[1], 10,
                         lambda p: p.get("Status") == "NeedsAttention",
                         show=lambda p: short({k: v for k, v in p.items() if "Pixmap" not in k})
                         if isinstance(p, dict) else p)
        expect(props.get("AttentionIconPixmap") or props.get("AttentionIconName"),
               "an attention icon", {k: (len(v) if "Pixmap" in k else v) for k, v in props.items()})
        new_icons = len(self.s.monitor.select("NewIcon", "org.kde.StatusNotifierItem", kind="signal", since=since))
        statuses = [e["args"] for e in
                    self.s.monitor.select("NewStatus", "org.kde.StatusNotifierItem", kind="signal", since=since)]
        expect(("NeedsAttention",) in statuses, "a NewStatus signal for NeedsAttention",
               {"NewStatus": statuses, "NewIcon signals": new_icons})
        self.acknowledge()
        wait_for("the item says Active after OK", self.status, 10, lambda s: s == "Active")
        return f"NewStatus {statuses}, {new_icons} NewIcon signals meanwhile"

    # --- notifications ------------------------------------------------------
    def notification_per_alarm(self):
        since = self.alarm(WARNING_EVENT)
        first = wait_for("a notification of the warning", lambda: self.event_notes(since, WARNING_EVENT[1]), 20,
                         show=lambda _: self.notify_calls(since))[0]
        first = wait_for("the daemon's id for it", lambda: self.event_notes(since, WARNING_EVENT[1])[0], 10,
                         lambda n: n["id"], show=lambda n: short(n))
        actions = action_pairs(first["actions"])
        expect(first["app_name"] == PROGRAM_NAME and first["replaces_id"] == 0, "a new notification of the program",
               first)
        expect(actions.get("ok") == "OK" and actions.get("show") == "Show", "actions OK and Show", first)
        expect(first["hints"].get("urgency") == 1, "urgency normal for a warning", first)
        expect(first["hints"].get("sound-name") == "bell", "the desktop's bell where the sound device cannot open",
               first)
        since_error = self.alarm(ERROR_EVENT)
        second = wait_for("a notification of the error that replaces the first",
                          lambda: self.event_notes(since_error, ERROR_EVENT[1]), 20,
                          show=lambda _: self.notify_calls(since))[0]
        expect(second["replaces_id"] == first["id"], f"replaces_id {first['id']} (the open alarm's notification)",
               second)
        expect(second["hints"].get("urgency") == 2, "urgency critical for an error", second)
        listed = wait_for("mako shows the alarm's notification", self.mako_list, 10,
                          lambda items: [i for i in items if i.get("summary") == ALERT_TITLE])
        expect(len([i for i in listed if i.get("summary") == ALERT_TITLE]) == 1,
               "one notification of the alarm, not a pile", listed)
        return (f"id {first['id']} urgency {first['hints'].get('urgency')} actions {first['actions']};"
                f" then replaces_id {second['replaces_id']} urgency {second['hints'].get('urgency')}")

    def event_notes(self, since, text):
        return [n for n in utility_notifications(self.s, since) if text in n["body"]]

    def mako_list(self):
        status, out = run(["makoctl", "list"], self.s.env)
        if status != 0:
            raise CheckFailed(f"makoctl list: {out}")
        # makoctl prints the bus's answer as JSON: {"type": ..., "data": [[{field: {"data": value}}]]}
        data = json.loads(out)["data"][0]
        return [{k: v.get("data") for k, v in item.items()} for item in data]

    def utility_note_id(self):
        items = [i for i in self.mako_list() if i.get("summary") == ALERT_TITLE]
        if not items:
            raise CheckFailed("mako shows no notification of the utility")
        return items[0]["id"]

    def notification_ok(self):
        """After notification_per_alarm: the alarm runs, its notification is open."""
        wait_for("the alert window shows", lambda: self.s.view(ALERT_TITLE), 10, show=self.views_and_log)
        note = wait_for("mako shows the alarm's notification", self.utility_note_id, 10)
        status, out = run(["makoctl", "invoke", "-n", str(note), "ok"], self.s.env)
        expect(status == 0, "makoctl invoke ok", out)
        wait_for("OK in the notification hides the alert window", lambda: self.s.view(ALERT_TITLE), 10,
                 lambda v: v is None, show=self.views_and_log)
        wait_for("the item says Active", self.status, 10, lambda s: s == "Active")

    def notification_show_over_covering_window(self):
        self.alarm()
        wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.views_and_log)
        note = wait_for("mako shows the alarm's notification", self.utility_note_id, 10)
        self.s.open_other(COVERING_TITLE)
        status, out = run(["makoctl", "invoke", "-n", str(note), "show"], self.s.env)
        expect(status == 0, "makoctl invoke show", out)
        seen = wait_for("Show in the notification brings the alert window to the user",
                        lambda: self.s.view(ALERT_TITLE), 10, reached, show=self.views_and_log)
        return how(seen)

    # --- attention --------------------------------------------------------------
    def alarm_behind_covering_window(self):
        """The alert window shows; a floating window of another program takes
        the focus and covers it; a new event comes."""
        if self.s.view(ALERT_TITLE) is None:
            self.alarm()
            wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.views_and_log)
        self.clear_urgency(ALERT_TITLE)
        self.s.open_other(COVERING_TITLE)
        self.alarm()
        seen = wait_for("the alert window comes to the front or is marked urgent", lambda: self.s.view(ALERT_TITLE),
                        15, reached, show=self.views_and_log)
        return how(seen)

    def clear_urgency(self, title):
        """The alert window starts the next check unmarked: sway keeps a mark
        until the window is focused, so it is focused once, then left."""
        view = self.s.view(title)
        if view and (view["urgent"] or view["workspace_urgent"]):
            current = [w["name"] for w in self.s.workspaces() if w["focused"]][0]
            focused = [v["name"] for v in self.s.views() if v["focused"]]
            self.s.focus(title)
            if focused:
                self.s.focus(focused[0])
            else:
                self.s.command(f"workspace {current}")
            wait_for("the mark goes", lambda: self.s.view(title), 10,
                     lambda v: v and not v["urgent"] and not v["workspace_urgent"], show=self.views_and_log)

    def alarm_on_other_workspace(self):
        """The alert window shows on workspace 1; the user works on workspace
        2; more events come."""
        if self.s.view(ALERT_TITLE) is None:
            self.alarm()
            wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.views_and_log)
        self.clear_urgency(ALERT_TITLE)
        self.s.command("workspace 2")
        self.s.open_other(OTHER_TITLE)
        alert_space = self.s.view(ALERT_TITLE)["workspace"]
        expect(alert_space != "2", "the alert window on another workspace than the user's", self.s.show_views())
        self.alarm()
        seen = wait_for("the alert window comes to the user or its workspace is marked urgent",
                        lambda: self.s.view(ALERT_TITLE), 15, reached, show=self.views_and_log)
        self.acknowledge()
        return how(seen)

    def alarm_behind_fullscreen(self):
        """No alarm runs; the user plays a film full-screen; an event comes."""
        if self.s.view(ALERT_TITLE) is not None:
            self.acknowledge()
        self.s.command("workspace 3")
        self.s.open_other(FULLSCREEN_TITLE)
        wait_for("the other program is full-screen", lambda: self.s.view(FULLSCREEN_TITLE), 10,
                 lambda v: v and v["fullscreen"], show=self.views_and_log)
        self.alarm()
        wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.views_and_log)
        seen = wait_for("the alert window is seen over the full-screen program or marked urgent",
                        lambda: self.s.view(ALERT_TITLE), 15, reached, show=self.views_and_log)
        self.acknowledge()
        return how(seen)

    def second_max_from_launcher(self):
        """The main window is open behind another program, a launcher; the
        user starts the utility's menu entry from it (Return), and the
        launcher hands its activation token along as XDG_ACTIVATION_TOKEN."""
        if self.s.view(MAIN_TITLE) is None:
            status, out = self.u.second_start("-max")
            expect(status == 0, "the first -max ends at once with 0", out)
            wait_for("the main window opens", lambda: self.s.view(MAIN_TITLE), 15, show=self.views_and_log)
        self.clear_urgency(MAIN_TITLE)
        ended = os.path.join(self.s.dir, "launched-max.status")
        command = (f"sh -c 'XDG_ACTIVATION_TOKEN=$DESKTOP_STARTUP_ID \"$0\" -max; echo $? > {ended}'"
                   f" {os.path.join(self.u.bin, 'kivo')}")
        launcher = self.s.open_other(COVERING_TITLE, "--launch", command)
        self.s.key("Return")
        status = wait_for("the launched kivo -max ends", lambda: read(ended).strip(), 30, lambda t: t.isdigit(),
                          show=lambda t: f"{t}\n--- the launcher's output:\n{read(launcher.log)}")
        expect(status == "0", "the launched kivo -max ends with 0", status)
        seen = wait_for("the main window comes to the front or is marked urgent", lambda: self.s.view(MAIN_TITLE),
                        15, reached, show=self.views_and_log)
        return how(seen)

    def second_max_from_other_workspace(self):
        """The main window is open on workspace 1; on workspace 4 the user
        runs kivo -max from a terminal (no activation token)."""
        if self.s.view(MAIN_TITLE) is None:
            self.u.second_start("-max")
            wait_for("the main window opens", lambda: self.s.view(MAIN_TITLE), 15, show=self.views_and_log)
        self.clear_urgency(MAIN_TITLE)
        self.s.command("workspace 4")
        self.s.open_other(OTHER_TITLE)
        status, out = self.u.second_start("-max")
        expect(status == 0, "-max ends at once with 0", out)
        seen = wait_for("the main window comes to the user or its workspace is marked urgent",
                        lambda: self.s.view(MAIN_TITLE), 15, reached, show=self.views_and_log)
        return how(seen)

    # --- plumbing -----------------------------------------------------------------
    def no_xwayland(self):
        found = processes_named("Xwayland")
        xviews = [v for v in self.s.views() if v["shell"] == "xwayland"]
        expect(not found and not xviews, "no Xwayland started (the utility does not open the X display)",
               {"Xwayland processes": found, "X windows": xviews,
                "DISPLAY given to the utility": self.s.env["DISPLAY"]})
