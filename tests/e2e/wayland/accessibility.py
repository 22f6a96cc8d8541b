"""The utility as a screen reader sees it, through AT-SPI: the alert
window announces itself as an alert with its text named, the unit list is
named, the value labels are labelled by their captions, and every control
is reached with Tab. Runs in the sway session (keys from wtype)."""

import os

from harness import ALERT_TITLE, MAIN_TITLE, WARNING_EVENT, CheckFailed, expect, short, wait_for

CAPTIONS = ["Driver:", "BIOS:", "Firmware:", "Monitor:", "PCBA:", "A Chip:", "Model:", "P Chip:", "Computer name:",
            "Time:", "Operating System:", "Units:"]
# Roles that take the keyboard; rows of a list and entries of a menu are
# reached inside their list or menu.
CONTROL_ROLES = {"push button", "check box", "combo box", "text", "tree table", "tree", "table", "list", "list box",
                 "radio button", "spin button", "entry", "page tab", "slider"}


pyatspi = None
Atspi = None


def connect(bus_address):
    """The AT-SPI library finds the accessibility bus through the session
    bus it is loaded with: load it for the session's bus."""
    global pyatspi, Atspi
    if pyatspi is None:
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus_address
        import pyatspi as loaded
        from gi.repository import Atspi as atspi
        pyatspi, Atspi = loaded, atspi


def node(acc, depth=0):
    """One object of the tree and its children as plain values, read afresh."""
    acc.clear_cache()
    states = acc.getState()
    relations = {}
    for relation in acc.getRelationSet():
        kind = Atspi.RelationType(relation.getRelationType()).value_nick
        relations.setdefault(kind, []).extend(
            relation.getTarget(i).name for i in range(relation.getNTargets()))
    item = {
        "role": acc.getRoleName(), "name": acc.name, "description": acc.description,
        "states": sorted(pyatspi.stateToString(s) for s in states.getStates()), "relations": relations,
        "children": [],
    }
    if item["role"] == "text":
        try:
            text = acc.queryText()
            item["text"] = text.getText(0, text.characterCount)
        except NotImplementedError:
            pass
    if depth < 12 and item["role"] not in ("tree table", "tree", "table", "list"):
        item["children"] = [node(acc.getChildAtIndex(i), depth + 1) for i in range(acc.childCount)
                            if acc.getChildAtIndex(i) is not None]
    return item


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            app.set_cache_mask(Atspi.Cache.NONE)
            return app
    raise CheckFailed(f"the utility (pid {pid}) is not on the accessibility bus; there are "
                      f"{[desktop.getChildAtIndex(i).name for i in range(desktop.childCount)]}")


def windows(pid):
    app = application(pid)
    return [node(app.getChildAtIndex(i)) for i in range(app.childCount) if app.getChildAtIndex(i) is not None]


def window(pid, title):
    found = [w for w in windows(pid) if w["name"] == title and "showing" in w["states"]]
    if not found:
        raise CheckFailed(f"no window {title!r} in the accessibility tree")
    return found[0]


def walk(item):
    yield item
    for child in item["children"]:
        yield from walk(child)


def outline(item, depth=0):
    """The tree as lines, for a failure's text."""
    extra = ""
    if item["relations"]:
        extra += f" relations={item['relations']}"
    if "text" in item:
        extra += f" text={item['text'][:80]!r}"
    states = [s for s in item["states"] if s in ("focused", "focusable", "showing")]
    lines = [f"{'  ' * depth}{item['role']} {item['name']!r}{extra} {states}"]
    for child in item["children"]:
        lines.extend(outline(child, depth + 1))
    return lines


def show_tree(item):
    return "\n".join(outline(item)) if isinstance(item, dict) else short(item)


def focused(pid, title):
    """The control that has the keyboard focus: the focused object, or the
    control it is part of (a text box's inner area). Reads only roles and
    states, and leaves out the menu bar, which Tab never enters."""
    def find(acc, control):
        acc.clear_cache()
        role = acc.getRoleName()
        if role == "menu bar":
            return None
        if role in CONTROL_ROLES:
            control = acc
        if acc.getState().contains(pyatspi.STATE_FOCUSED):
            hit = control or acc
            return hit.getRoleName(), hit.name
        if role in ("tree table", "tree", "table", "list", "combo box"):
            return None  # its rows and entries are not controls of their own
        for i in range(acc.childCount):
            child = acc.getChildAtIndex(i)
            found = find(child, control) if child is not None else None
            if found:
                return found
        return None

    app = application(pid)
    for i in range(app.childCount):
        top = app.getChildAtIndex(i)
        if top is not None and top.name == title:
            return find(top, None)
    raise CheckFailed(f"no window {title!r} in the accessibility tree")


class AccessibilityChecks:
    def __init__(self, session, sway_checks):
        self.s = session
        self.sway = sway_checks
        self.u = session.utility

    def pid(self):
        connect(self.s.env["DBUS_SESSION_BUS_ADDRESS"])  # once the session's bus is up
        self.u.ensure_started()
        return self.u.kivo.pid

    def alert_is_an_alert_with_named_text(self):
        if self.s.view(ALERT_TITLE) is None:
            self.sway.alarm()
            wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.s.describe)
        alert = wait_for("the alert window in the accessibility tree", lambda: window(self.pid(), ALERT_TITLE), 15)
        expect(alert["role"] == "alert", "the alert window's role is alert", show_tree(alert))
        texts = [n for n in walk(alert) if n["role"] == "text"]
        expect(texts and any(n["name"] and WARNING_EVENT[1] in n["name"] for n in texts),
               f"the message text named by the newest event ({WARNING_EVENT[1]!r})", show_tree(alert))

    def open_main_window(self):
        if self.s.view(MAIN_TITLE) is None:
            self.u.second_start("-max")
            wait_for("the main window opens", lambda: self.s.view(MAIN_TITLE), 15, show=self.s.describe)
        return wait_for("the main window in the accessibility tree", lambda: window(self.pid(), MAIN_TITLE), 15)

    def unit_list_named(self):
        main = self.open_main_window()
        lists = [n for n in walk(main) if n["role"] in ("tree table", "tree", "table", "list", "list box")]
        expect([n for n in lists if n["name"] == "Units"], "a unit list named 'Units'", show_tree(main))

    def value_labels_labelled_by_captions(self):
        main = self.open_main_window()
        labels = [n for n in walk(main) if n["role"] == "label"]
        missing = []
        for caption in CAPTIONS:
            captions = [n for n in labels if n["name"] == caption]
            values = [n for n in labels if caption in n["relations"].get("labelled-by", [])]
            if not captions or not values or not captions[0]["relations"].get("label-for"):
                missing.append(caption)
        expect(not missing, f"a value label labelled by each caption; missing for {missing}", show_tree(main))

    def tab_reaches_every_control(self, title):
        """From the window's first control, Tab goes round every control that
        takes the keyboard."""
        self.s.focus(title)
        tree = wait_for(f"{title!r} has a focused control", lambda: window(self.pid(), title), 10,
                        lambda w: any("focused" in n["states"] for n in walk(w)), show=show_tree)
        controls = {(n["role"], n["name"]) for n in walk(tree)
                    if n["role"] in CONTROL_ROLES and "showing" in n["states"] and "enabled" in n["states"]}
        seen = [focused(self.pid(), title)]
        # Once round, and one step more to see the first again.
        for _ in range(len(controls) + 1):
            before = seen[-1]
            self.s.key("Tab")
            now = wait_for(f"Tab moves the focus on from {before}", lambda: focused(self.pid(), title), 5,
                           lambda f: f is not None and f != before,
                           show=lambda f: f"still {f}; seen in order: {seen}\n" + show_tree(window(self.pid(), title)))
            seen.append(now)
        missed = controls - set(seen)
        expect(not missed, f"Tab reaches every control of {title!r}; never focused: {sorted(missed)}",
               f"focus in order: {seen}\n" + show_tree(tree))
        return f"focus in order: {seen}"

    def keyboard_main_window(self):
        self.open_main_window()
        return self.tab_reaches_every_control(MAIN_TITLE)

    def keyboard_alert_window(self):
        if self.s.view(ALERT_TITLE) is None:
            self.sway.alarm()
            wait_for("the alert window opens", lambda: self.s.view(ALERT_TITLE), 20, show=self.s.describe)
        return self.tab_reaches_every_control(ALERT_TITLE)
