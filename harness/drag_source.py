#!/usr/bin/python3
# A small GTK 3 program that offers files for dragging, as a file manager does:
#   drag_source.py TITLE PATH-OR-FILE-URI...
# A path is taken as the file system's bytes (a name need not be valid UTF-8); an
# argument that is already a file:// URI is offered as given. Its window (titled TITLE) is one drag source carrying the paths as text/uri-list.
# It prints "ready" once shown and "drag-end <action>" after each drag. With
# QB_DRAG_SOURCE_MAXIMIZE=1 in the environment the window asks to be maximised,
# as a browser or file manager usually is; with QB_DRAG_SOURCE_AT=X,Y it asks for
# that place instead of the usual one right of the middle.
import os
import sys
import urllib.parse

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def uri_of(arg):
    if arg.startswith("file://"):
        return arg
    return "file://" + urllib.parse.quote(os.fsencode(arg))


def main():
    title, paths = sys.argv[1], sys.argv[2:]
    uris = [uri_of(p) for p in paths]

    win = Gtk.Window(title=title)
    win.set_default_size(200, 150)
    at = os.environ.get("QB_DRAG_SOURCE_AT", "950,300").split(",")
    win.move(int(at[0]), int(at[1]))
    box = Gtk.EventBox()
    box.add(Gtk.Label(label="%d item(s)" % len(paths)))
    win.add(box)

    actions = Gdk.DragAction.COPY | Gdk.DragAction.MOVE
    box.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], actions)
    box.drag_source_add_uri_targets()

    def on_data_get(_widget, _context, data, _info, _time):
        data.set_uris(uris)

    def on_drag_end(_widget, context):
        print("drag-end %s" % context.get_selected_action(), flush=True)

    box.connect("drag-data-get", on_data_get)
    box.connect("drag-end", on_drag_end)
    win.connect("destroy", Gtk.main_quit)

    def announce():
        print("ready", flush=True)
        return False

    win.connect("map-event", lambda *_: GLib.timeout_add(100, announce) and False)
    if os.environ.get("QB_DRAG_SOURCE_MAXIMIZE") == "1":
        # Without the title bar GTK would draw itself: its icons need the
        # desktop's data folders, which the tests keep private.
        win.set_decorated(False)
        win.maximize()
    win.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
