"""The checks in headless GNOME Shell, the default desktop, which has no
tray: the utility tells that it is watching, the menu entry brings the
window up behind another program, and the alarm reaches the user although
another window took the focus."""

import os
import signal
import time

from harness import (ALERT_TITLE, ERROR_EVENT, MAIN_TITLE, PROGRAM_NAME, WARNING_EVENT, WATCHING_BODY,
                     expect, holds, processes_named, show_notifications, utility_notifications, wait_for)

OTHER_TITLE = "Other Program"


def reached(window):
    """In front of the user, or marked: GNOME shows a window that demands
    attention (or is urgent) as a notification "... is ready"."""
    return bool(window) and (window["focus"] or window["attention"] or window["urgent"])


def how(window):
    ways = [w for w, on in (("focused", window["focus"]), ("demands attention", window["attention"]),
                            ("urgent", window["urgent"])) if on]
    return f"{window['title']!r}: " + (", ".join(ways) or "not reached")


class GnomeChecks:
    def __init__(self, session):
        self.s = session
        self.u = session.utility

    def notify_calls(self, since=0.0):
        return show_notifications(self.s, since)

    def watching(self, since=0.0):
        return [n for n in utility_notifications(self.s, since) if n["body"] == WATCHING_BODY]

    def shown_by_shell(self, text):
        return [n for s in self.s.shell_notifications() for n in s["notifications"] if text in (n["body"] or "")]

    def watching_at_start(self):
        self.u.start()
        note = wait_for("a notification that the utility is watching, with the shell's id", self.watching, 20,
                        lambda found: found and found[0]["id"], show=lambda _: self.notify_calls())[0]
        expect(note["summary"] == PROGRAM_NAME, "its summary names the program", note)
        wait_for("the shell shows it", lambda: self.shown_by_shell("is watching the Zelka controllers"), 10,
                 show=lambda _: self.notify_calls())
        holds("only one at start-up", self.watching, 1.5, lambda found: len(found) == 1,
              show=lambda _: self.notify_calls())
        return f"Notify id {note['id']}, shown by the shell under {PROGRAM_NAME!r}"

    def watching_on_close(self):
        status, out = self.u.second_start("-max")
        expect(status == 0, "-max ends at once with 0", out)
        wait_for("the main window opens with the focus", lambda: self.s.window(MAIN_TITLE), 20,
                 lambda w: w and w["focus"], show=self.s.show_windows)
        since = time.monotonic()
        self.s.key("alt+F4")
        wait_for("Alt+F4 closes the main window", lambda: self.s.window(MAIN_TITLE), 10, lambda w: w is None,
                 show=self.s.show_windows)
        expect(self.u.running(), "the utility keeps running", self.u.log())
        again = wait_for("the watching notification again", lambda: self.watching(since), 10,
                         show=lambda _: self.notify_calls())[0]
        first = self.watching()[0]
        expect(again["replaces_id"] in (0, first["id"]), "it replaces the earlier one or is new", again)
        return f"Notify replaces_id {again['replaces_id']} -> id {again['id']}"

    def second_max_from_terminal(self):
        """The main window is open behind another program; the user runs
        kivo -max from a terminal (no activation token)."""
        if self.s.window(MAIN_TITLE) is None:
            self.u.second_start("-max")
            wait_for("the main window opens", lambda: self.s.window(MAIN_TITLE), 20, show=self.s.show_windows)
        self.s.open_other(OTHER_TITLE)
        expect(not self.s.window(MAIN_TITLE)["focus"], "the main window behind the other program",
               self.s.show_windows())
        status, out = self.u.second_start("-max")
        expect(status == 0, "the second -max ends at once with 0", out)
        seen = wait_for("the main window comes to the front or asks for attention", lambda: self.s.window(MAIN_TITLE),
                        15, reached, show=self.s.show_windows)
        return how(seen)

    def menu_entry_opens_closed_window(self):
        """The main window is closed, another program has the focus; the user
        chooses the utility in the applications menu: the shell starts the
        package's menu entry (kivo -max, with startup notification), whose
        start-up id lets the window come up in front."""
        if self.s.window(MAIN_TITLE) is not None:
            self.s.activate(MAIN_TITLE)
            self.s.key("Escape")
            wait_for("Escape closes the main window", lambda: self.s.window(MAIN_TITLE), 10, lambda w: w is None,
                     show=self.s.show_windows)
        self.s.open_other(OTHER_TITLE)
        self.s.eval("imports.gi.Shell.AppSystem.get_default().lookup_app('kivo.desktop')"
                    ".activate_full(-1, global.display.get_current_time_roundtrip()); true")
        try:
            seen = wait_for("the main window opens in front with the focus", lambda: self.s.window(MAIN_TITLE), 20,
                            lambda w: w and w["focus"], show=self.s.show_windows)
            wait_for("the menu's kivo -max ends", self.second_starts, 15, lambda pids: not pids,
                     show=lambda pids: f"still running: {pids}")
        finally:
            for pid, _ in self.second_starts():  # one that did not find the first runs on as a second utility
                os.kill(pid, signal.SIGTERM)
        return how(seen)

    def second_starts(self):
        return [p for p in processes_named("kivo") if p[0] != self.u.kivo.pid]

    def alarm_behind_other_window(self):
        self.s.open_other(OTHER_TITLE)
        since = time.monotonic()
        self.u.ctl("aen " + WARNING_EVENT[0])
        wait_for("the alert window opens with the focus", lambda: self.s.window(ALERT_TITLE), 20,
                 lambda w: w and w["focus"], show=self.s.show_windows)
        self.s.activate(OTHER_TITLE)
        before = how(self.s.window(ALERT_TITLE))
        self.u.ctl("aen " + ERROR_EVENT[0])
        seen = wait_for("the alert window comes to the front or asks for attention",
                        lambda: self.s.window(ALERT_TITLE), 15, reached, show=lambda _: self.s.describe())
        notes = wait_for("a notification of each alarm", lambda: utility_notifications(self.s, since), 10,
                         lambda found: any(ERROR_EVENT[1] in n["body"] for n in found), show=self.notify_calls)
        error = [n for n in notes if ERROR_EVENT[1] in n["body"]][-1]
        expect(error["hints"].get("urgency") == 2, "urgency critical for an error", error)
        wait_for("the shell shows the alarm", lambda: self.shown_by_shell(ERROR_EVENT[1]), 10,
                 show=lambda _: self.notify_calls(since))
        return f"before the event {before}; after it {how(seen)}; Notify urgency 2, shown by the shell"
