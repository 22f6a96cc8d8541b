"""Another program's window for the session tests: a plain GTK window with
the title given, full-screen with --fullscreen; it takes the focus when it
maps, as a program the user just started does. With --launch COMMAND it is a
launcher: Return in its window starts COMMAND as a desktop launcher does,
through the display's launch context, which hands the started program an
activation token (DESKTOP_STARTUP_ID, as GTK 3 gives it).

    other_program.py TITLE [--fullscreen] [--launch COMMAND]
"""

import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gio, Gtk  # noqa: E402


def main():
    title = sys.argv[1]
    options = sys.argv[2:]
    window = Gtk.Window(title=title)
    window.set_default_size(1100, 900)
    window.add(Gtk.Label(label=title))
    window.connect("destroy", Gtk.main_quit)
    if "--launch" in options:
        command = options[options.index("--launch") + 1]

        def on_key(_window, event):
            if event.keyval != Gdk.KEY_Return:
                return False
            context = window.get_display().get_app_launch_context()
            context.set_timestamp(event.time)
            app = Gio.AppInfo.create_from_commandline(command, "Kivo",
                                                      Gio.AppInfoCreateFlags.SUPPORTS_STARTUP_NOTIFICATION)
            print(f"launched: {app.launch([], context)}", flush=True)
            return True

        window.connect("key-press-event", on_key)
    if "--fullscreen" in options:
        window.fullscreen()
    window.show_all()
    window.present()
    Gtk.main()


if __name__ == "__main__":
    main()
