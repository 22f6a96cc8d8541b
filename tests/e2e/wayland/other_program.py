"""Another program's window for the session tests: a plain GTK window with
the title given, full-screen with --fullscreen; it takes the focus when it
maps, as a program the user just started does.

    other_program.py TITLE [--fullscreen]
"""

import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402


def main():
    title = sys.argv[1]
    window = Gtk.Window(title=title)
    window.set_default_size(1100, 900)
    window.add(Gtk.Label(label=title))
    window.connect("destroy", Gtk.main_quit)
    if "--fullscreen" in sys.argv[2:]:
        window.fullscreen()
    window.show_all()
    window.present()
    Gtk.main()


if __name__ == "__main__":
    main()
