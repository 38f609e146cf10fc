#!/usr/bin/python3
"""A StatusNotifierWatcher on the session bus, as a panel (KDE Plasma, waybar, GNOME's extension)
runs one, for the tests: it keeps the items that register and prints one line per event
("item SERVICE PATH", "host SERVICE") on standard output.

Registered through Gio with its interface description, so Introspect lists the properties: Qt
reads IsStatusNotifierHostRegistered through an introspected interface and sees no tray without
them."""

import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

NAME = "org.kde.StatusNotifierWatcher"
PATH = "/StatusNotifierWatcher"
INTERFACE = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>
"""

items = []


def say(line):
    print(line, flush=True)


def call(connection, sender, path, interface, method, parameters, invocation):
    (service,) = parameters.unpack()
    if method == "RegisterStatusNotifierItem":
        # An item names its bus name, or only its object path on the caller's name.
        name, item_path = (sender, service) if service.startswith("/") else (
            service, "/StatusNotifierItem")
        items.append(name + item_path)
        say("item %s %s" % (name, item_path))
        connection.emit_signal(None, PATH, NAME, "StatusNotifierItemRegistered",
                               GLib.Variant("(s)", (name + item_path,)))
    else:
        say("host " + service)
    invocation.return_value(None)


def get_property(connection, sender, path, interface, name):
    return {
        "RegisteredStatusNotifierItems": GLib.Variant("as", items),
        "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
        "ProtocolVersion": GLib.Variant("i", 0),
    }[name]


def main():
    loop = GLib.MainLoop()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    bus.register_object(PATH, node.interfaces[0], call, get_property, None)

    def acquired(*_):
        say("watching")

    def lost(*_):
        say("name taken")
        loop.quit()

    Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, acquired, lost)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
