"""The utility in two real Wayland sessions: headless sway with swaybar's
tray and mako, then headless GNOME Shell without a tray; the accessibility
checks run in the sway session. Started by scripts/wayland-session-test.sh
as a throwaway user; prints one line per check (what it saw when it fails)
and "N passed, N failed" at the end; exit status 1 when a check failed.

    session_test.py --bin DIR --work DIR [--session sway|gnome] [--only WORD ...]
"""

import argparse
import os
import sys
import time
import traceback

from harness import Checks


def sway_checks(checks, work, bin_dir, tests_dir):
    from accessibility import AccessibilityChecks
    from sway_checks import SwayChecks
    from sway_session import SwaySession

    session = SwaySession(work, bin_dir, tests_dir)
    c = SwayChecks(session)
    a = AccessibilityChecks(session, c)
    plan = [
        ("sway: without a tray at start-up, one notification says the utility is watching",
         c.watching_notification_once),
        ("sway: kivo-command finds the instance without DISPLAY", c.command_without_display),
        ("sway: a tray that starts after the utility gets its icon", c.late_tray_gets_icon),
        ("sway: the tray item's Id and Title name the program", c.item_names_program),
        ("sway: the tray item exports its menu over D-Bus", c.menu_exported),
        ("sway: the right button in the tray opens no window titled kivo and is answered",
         c.right_click_opens_no_window_of_its_own),
        ("sway: View Alarms in the tray's D-Bus menu opens the alert window", c.menu_view_alarms),
        ("sway: during an alarm the tray item says NeedsAttention until OK", c.alarm_needs_attention),
        ("sway: each alarm sends a notification (OK and Show, critical for errors, replacing the open one)",
         c.notification_per_alarm),
        ("sway: OK in the notification acknowledges the alarm", c.notification_ok),
        ("sway: Show in the notification brings the alert window over another window",
         c.notification_show_over_covering_window),
        ("sway: a new alarm behind another floating window activates the alert window or marks it urgent",
         c.alarm_behind_covering_window),
        ("accessibility: the alert window is an alert with its text named", a.alert_is_an_alert_with_named_text),
        ("accessibility: Tab reaches every control of the alert window", a.keyboard_alert_window),
        ("sway: an alarm while the user is on another workspace reaches the user", c.alarm_on_other_workspace),
        ("sway: an alarm behind a full-screen program is seen or marked urgent", c.alarm_behind_fullscreen),
        ("sway: -max started from a launcher brings up the open main window behind it",
         c.second_max_from_launcher),
        ("sway: -max from a terminal reaches the main window on another workspace",
         c.second_max_from_other_workspace),
        ("accessibility: the unit list is named Units", a.unit_list_named),
        ("accessibility: each value label is labelled by its caption", a.value_labels_labelled_by_captions),
        ("accessibility: Tab reaches every control of the main window", a.keyboard_main_window),
        ("sway: the utility starts no Xwayland (it does not open the X display)", c.no_xwayland),
    ]
    run_plan(checks, session, plan)


def gnome_checks(checks, work, bin_dir, tests_dir):
    from gnome_checks import GnomeChecks
    from gnome_session import GnomeSession

    session = GnomeSession(work, bin_dir, tests_dir)
    c = GnomeChecks(session)
    plan = [
        ("gnome: without a tray, one notification at start-up says the utility is watching", c.watching_at_start),
        ("gnome: closing the main window says again that the utility is watching", c.watching_on_close),
        ("gnome: -max from a terminal brings up the main window behind another program",
         c.second_max_from_terminal),
        ("gnome: the applications menu's entry opens the closed main window in front of another program",
         c.menu_entry_opens_closed_window),
        ("gnome: a new alarm behind another window raises the alert window or asks for attention, and is notified",
         c.alarm_behind_other_window),
    ]
    run_plan(checks, session, plan)


def run_plan(checks, session, plan):
    names = [name for name, _ in plan]
    started = time.monotonic()
    try:
        try:
            session.start()
        except Exception:
            checks.fail_all(names, "the session did not start:\n" + traceback.format_exc()
                            + "\n--- logs in " + session.dir)
            return
        print(f"        (session up in {time.monotonic() - started:.1f} s)", flush=True)
        for name, body in plan:
            if name != names[0] and checks.selected(name):
                # A check run alone finds the utility running, as the first left it.
                session.utility.ensure_started()
            checks.run(name, body)
            if checks.selected(name):
                try:
                    session.between_checks()
                except Exception as error:  # the next check says what it finds
                    print(f"        (clean-up after the check: {error})", flush=True)
            if not session.utility.running() and session.utility.kivo is not None:
                checks.fail_all(names[names.index(name) + 1:],
                                f"the utility ended (status {session.utility.kivo.returncode}):\n"
                                + session.utility.log()[-3000:])
                return
    finally:
        session.stop()
        print(f"        (session over after {time.monotonic() - started:.1f} s)", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--session", choices=["sway", "gnome"], action="append")
    parser.add_argument("--only", nargs="*")
    args = parser.parse_args()
    tests_dir = os.path.dirname(os.path.abspath(__file__))
    checks = Checks(args.only)
    sessions = args.session or ["sway", "gnome"]
    if "sway" in sessions:
        sway_checks(checks, args.work, args.bin, tests_dir)
    if "gnome" in sessions:
        gnome_checks(checks, args.work, args.bin, tests_dir)
    passed, failed = checks.summary()
    print(f"wayland-sessions: {passed} passed, {failed} failed", flush=True)
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
