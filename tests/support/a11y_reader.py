#!/usr/bin/python3
# Reads a program's windows through the accessibility bus, as a screen reader does.
#
#   a11y_reader.py dump APP     print the controls of APP's windows as one JSON list,
#                               each {"role", "name", "description"}
#   a11y_reader.py watch S      print a JSON line for each name change on the bus
#                               for S seconds, {"role", "name", "description"};
#                               "ready" first, once listening
#
# APP is the application's name on the bus (started after the watch, the program
# has the listener from its start); the bus is the one that
# $DBUS_SESSION_BUS_ADDRESS leads to (org.a11y.Bus).
import json
import sys
import time

import pyatspi
from gi.repository import GLib


def find_app(name, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.2)
    sys.exit("no application %r on the accessibility bus" % name)


def describe(obj):
    return {"role": obj.getRoleName(), "name": obj.name, "description": obj.description}


def dump(app):
    found = []

    # A screen reader reads what is shown: a control kept hidden (a closed find field)
    # is not part of the window it reads.
    def walk(obj):
        if not obj.getState().contains(pyatspi.STATE_SHOWING):
            return
        found.append(describe(obj))
        for i in range(obj.childCount):
            child = obj.getChildAtIndex(i)
            if child is not None:
                walk(child)

    for i in range(app.childCount):
        walk(app.getChildAtIndex(i))
    print(json.dumps(found, ensure_ascii=False))


def watch(seconds):
    def changed(event):
        print(json.dumps(describe(event.source), ensure_ascii=False), flush=True)

    pyatspi.Registry.registerEventListener(changed, "object:property-change:accessible-name")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    GLib.idle_add(lambda: print("ready", flush=True) and False)
    pyatspi.Registry.start()


def main():
    if sys.argv[1] == "dump":
        dump(find_app(sys.argv[2]))
    else:
        watch(float(sys.argv[2]))


main()
