#!/usr/bin/python3
"""Moves the pointer of the private test desktop by DX, DY pixels.

    move-pointer.py DX DY

Uses the compositor's own remote-desktop interface (GNOME's headless mutter
has no input device); the pointer stays where it went after the session ends.
"""
import sys

from gi.repository import Gio, GLib

BUS_NAME = "org.gnome.Mutter.RemoteDesktop"


def call(bus, path, interface, method, args=None):
    return bus.call_sync(BUS_NAME, path, interface, method, args, None, Gio.DBusCallFlags.NONE, 5000, None)


def main():
    dx, dy = float(sys.argv[1]), float(sys.argv[2])
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    session = call(bus, "/org/gnome/Mutter/RemoteDesktop", BUS_NAME, "CreateSession").unpack()[0]
    call(bus, session, BUS_NAME + ".Session", "Start")
    call(bus, session, BUS_NAME + ".Session", "NotifyPointerMotionRelative", GLib.Variant("(dd)", (dx, dy)))
    call(bus, session, BUS_NAME + ".Session", "Stop")
    return 0


if __name__ == "__main__":
    sys.exit(main())
