#!/usr/bin/python3
"""The desktop's inhibitor services for the hold-back tests, on the bus of DBUS_SESSION_BUS_ADDRESS.

  desktop_services.py serve       owns org.gnome.SessionManager, org.freedesktop.PowerManagement,
                                  org.kde.Solid.PowerManagement and org.freedesktop.Notifications under their real object paths
                                  and interfaces; an inhibitor lasts until it is released or its
                                  holder leaves the bus, as in the desktops' own services.
  desktop_services.py hold WHICH  takes an inhibitor (WHICH: gnome, power, kde-screen,
                                  notifications), says
                                  "held" on stdout, releases it when stdin ends, says "released".
"""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class Inhibitors:
    def __init__(self, bus, changed):
        self.bus = bus
        self.cookies = {}  # cookie -> holder's unique name
        self.next = 1
        self.changed = changed
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", "org.freedesktop.DBus")

    def take(self, sender):
        cookie = self.next
        self.next += 1
        self.cookies[cookie] = sender
        self.changed()
        return dbus.UInt32(cookie)

    def release(self, cookie):
        self.cookies.pop(int(cookie), None)
        self.changed()

    def owner_changed(self, name, old, new):
        if name.startswith(":") and not new:
            for cookie in [c for c, s in self.cookies.items() if s == name]:
                del self.cookies[cookie]
            self.changed()

    def any(self):
        return dbus.Boolean(bool(self.cookies))


class Session(dbus.service.Object):
    IFACE = "org.gnome.SessionManager"

    def __init__(self, bus):
        super().__init__(bus, "/org/gnome/SessionManager")
        self.idle = Inhibitors(bus, lambda: None)

    @dbus.service.method(IFACE, in_signature="susu", out_signature="u", sender_keyword="sender")
    def Inhibit(self, app_id, toplevel, reason, flags, sender=None):
        return self.idle.take(sender) if flags & 8 else dbus.UInt32(0)

    @dbus.service.method(IFACE, in_signature="u")
    def Uninhibit(self, cookie):
        self.idle.release(cookie)

    @dbus.service.method(IFACE, in_signature="u", out_signature="b")
    def IsInhibited(self, flags):
        return dbus.Boolean(bool(flags & 8) and bool(self.idle.cookies))


class Power(dbus.service.Object):
    IFACE = "org.freedesktop.PowerManagement.Inhibit"

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/PowerManagement/Inhibit")
        self.held = Inhibitors(bus, lambda: None)

    @dbus.service.method(IFACE, in_signature="ss", out_signature="u", sender_keyword="sender")
    def Inhibit(self, application, reason, sender=None):
        return self.held.take(sender)

    @dbus.service.method(IFACE, in_signature="u")
    def UnInhibit(self, cookie):
        self.held.release(cookie)

    @dbus.service.method(IFACE, out_signature="b")
    def HasInhibit(self):
        return self.held.any()


class PolicyAgent(dbus.service.Object):
    IFACE = "org.kde.Solid.PowerManagement.PolicyAgent"

    def __init__(self, bus):
        super().__init__(bus, "/org/kde/Solid/PowerManagement/PolicyAgent")
        self.held = {}  # cookie -> (holder, types)
        self.inhibitors = Inhibitors(bus, lambda: None)

    @dbus.service.method(IFACE, in_signature="uss", out_signature="u", sender_keyword="sender")
    def AddInhibition(self, types, app_name, reason, sender=None):
        cookie = self.inhibitors.take(sender)
        self.held[int(cookie)] = int(types)
        return cookie

    @dbus.service.method(IFACE, in_signature="u")
    def ReleaseInhibition(self, cookie):
        self.inhibitors.release(cookie)

    @dbus.service.method(IFACE, in_signature="u", out_signature="b")
    def HasInhibition(self, types):
        return dbus.Boolean(any(self.held.get(c, 0) & int(types) for c in self.inhibitors.cookies))


class Notifications(dbus.service.Object):
    IFACE = "org.freedesktop.Notifications"

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.held = Inhibitors(bus, lambda: None)

    @dbus.service.method(IFACE, in_signature="ssa{sv}", out_signature="u", sender_keyword="sender")
    def Inhibit(self, desktop_entry, reason, hints, sender=None):
        return self.held.take(sender)

    @dbus.service.method(IFACE, in_signature="u")
    def UnInhibit(self, cookie):
        self.held.release(cookie)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == self.IFACE and name == "Inhibited":
            return self.held.any()
        raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.UnknownProperty")


def serve():
    bus = dbus.SessionBus()
    keep = [Session(bus), Power(bus), PolicyAgent(bus), Notifications(bus)]
    names = [dbus.service.BusName(n, bus) for n in
             ("org.gnome.SessionManager", "org.freedesktop.PowerManagement", "org.kde.Solid.PowerManagement",
              "org.freedesktop.Notifications")]
    print("serving", flush=True)
    GLib.MainLoop().run()
    del keep, names


def hold(which):
    bus = dbus.SessionBus()
    if which == "gnome":
        o = dbus.Interface(bus.get_object("org.gnome.SessionManager", "/org/gnome/SessionManager"),
                           "org.gnome.SessionManager")
        cookie = o.Inhibit("video-player", dbus.UInt32(0), "Playing a film", dbus.UInt32(8))
        release = lambda: o.Uninhibit(cookie)
    elif which == "power":
        o = dbus.Interface(bus.get_object("org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit"),
                           "org.freedesktop.PowerManagement.Inhibit")
        cookie = o.Inhibit("presenter", "Presenting")
        release = lambda: o.UnInhibit(cookie)
    elif which == "kde-screen":
        o = dbus.Interface(bus.get_object("org.kde.Solid.PowerManagement", "/org/kde/Solid/PowerManagement/PolicyAgent"),
                           "org.kde.Solid.PowerManagement.PolicyAgent")
        cookie = o.AddInhibition(dbus.UInt32(4), "video-player", "Playing a film")
        release = lambda: o.ReleaseInhibition(cookie)
    else:
        o = dbus.Interface(bus.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications"),
                           "org.freedesktop.Notifications")
        cookie = o.Inhibit("focus", "Do not disturb", dbus.Dictionary({}, signature="sv"))
        release = lambda: o.UnInhibit(cookie)
    print("held", flush=True)
    sys.stdin.read()
    release()
    print("released", flush=True)


if __name__ == "__main__":
    DBusGMainLoop(set_as_default=True)
    if sys.argv[1] == "serve":
        serve()
    else:
        hold(sys.argv[2])
