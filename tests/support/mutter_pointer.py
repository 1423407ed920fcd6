#!/usr/bin/python3
# The pointer of a headless mutter, driven by lines on standard input as the
# Wayland pointer tool is: a remote desktop session over the session bus, with a
# screen cast of the (only) monitor whose stream places absolute motion.
#
#   mutter_pointer.py            (the session bus from the environment)
#   move X Y    absolute motion to X,Y of the monitor
#   by DX DY    relative motion
#   down / up   left button press / release
#
# Each line is answered with "ok" once mutter took it, or with "error: ...".
import sys
import time

from gi.repository import Gio, GLib

RD = "org.gnome.Mutter.RemoteDesktop"
SC = "org.gnome.Mutter.ScreenCast"
BTN_LEFT = 0x110


def main():
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)

    def call(dest, path, iface, method, sig=None, args=None):
        params = GLib.Variant(sig, args) if sig else None
        return bus.call_sync(dest, path, iface, method, params, None,
                             Gio.DBusCallFlags.NONE, 5000, None).unpack()

    # mutter may still be setting up when its session starts the first client.
    for _ in range(100):
        if call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameHasOwner", "(s)", (RD,))[0]:
            break
        time.sleep(0.1)
    session = call(RD, "/org/gnome/Mutter/RemoteDesktop", RD, "CreateSession")[0]
    session_id = call(RD, session, "org.freedesktop.DBus.Properties", "Get", "(ss)",
                      (RD + ".Session", "SessionId"))[0]
    cast = call(SC, "/org/gnome/Mutter/ScreenCast", SC, "CreateSession", "(a{sv})",
                ({"remote-desktop-session-id": GLib.Variant("s", session_id)},))[0]
    # An empty connector is the primary monitor.
    stream = call(SC, cast, SC + ".Session", "RecordMonitor", "(sa{sv})", ("", {}))[0]
    call(RD, session, RD + ".Session", "Start")
    print("ok", flush=True)

    for line in sys.stdin:
        words = line.split()
        try:
            if len(words) == 3 and words[0] == "move":
                call(RD, session, RD + ".Session", "NotifyPointerMotionAbsolute", "(sdd)",
                     (stream, float(words[1]), float(words[2])))
            elif len(words) == 3 and words[0] == "by":
                call(RD, session, RD + ".Session", "NotifyPointerMotionRelative", "(dd)",
                     (float(words[1]), float(words[2])))
            elif words in (["down"], ["up"]):
                call(RD, session, RD + ".Session", "NotifyPointerButton", "(ib)",
                     (BTN_LEFT, words[0] == "down"))
            else:
                print("error: unknown command " + line.strip(), flush=True)
                continue
        except GLib.Error as e:
            print("error: " + e.message, flush=True)
            continue
        print("ok", flush=True)
    call(RD, session, RD + ".Session", "Stop")


if __name__ == "__main__":
    main()
