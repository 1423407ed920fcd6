#!/usr/bin/python3
# A small GTK 3 window that takes drops as another program would:
#   drop_target.py TITLE
# It takes copy and link drops, asks the source for "text/uri-list" and for
# text, and prints "uris <uri>..." and "text <text>" (text in JSON, so a line
# break shows) for each drop, then "dropped <action>". It prints "ready" once
# shown; QB_DROP_TARGET_AT=X,Y places it.
import json
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

URI_LIST = Gdk.Atom.intern("text/uri-list", False)
UTF8 = Gdk.Atom.intern("UTF8_STRING", False)


def main():
    win = Gtk.Window(title=sys.argv[1])
    win.set_default_size(300, 200)
    at = os.environ.get("QB_DROP_TARGET_AT", "700,300").split(",")
    win.move(int(at[0]), int(at[1]))
    box = Gtk.EventBox()
    box.add(Gtk.Label(label="drop here"))
    win.add(box)

    targets = Gtk.TargetList.new([])
    targets.add_uri_targets(0)
    targets.add_text_targets(1)
    box.drag_dest_set(Gtk.DestDefaults.MOTION | Gtk.DestDefaults.HIGHLIGHT, [],
                      Gdk.DragAction.COPY | Gdk.DragAction.LINK)
    box.drag_dest_set_target_list(targets)
    pending = {}

    def on_drop(widget, context, _x, _y, time):
        pending[context] = 2
        widget.drag_get_data(context, URI_LIST, time)
        widget.drag_get_data(context, UTF8, time)
        return True

    def on_received(_widget, context, _x, _y, data, _info, time):
        if data.get_target() == URI_LIST:
            print("uris " + " ".join(data.get_uris() or []), flush=True)
        else:
            print("text " + json.dumps(data.get_text(), ensure_ascii=False), flush=True)
        pending[context] -= 1
        if pending[context] == 0:
            print("dropped %s" % context.get_selected_action(), flush=True)
            Gtk.drag_finish(context, True, False, time)

    box.connect("drag-drop", on_drop)
    box.connect("drag-data-received", on_received)
    win.connect("destroy", Gtk.main_quit)
    win.connect("map-event", lambda *_: GLib.timeout_add(100, lambda: print("ready", flush=True)) and False)
    win.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
