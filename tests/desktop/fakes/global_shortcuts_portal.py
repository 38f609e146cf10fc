#!/usr/bin/python3
"""A desktop portal front-end with global shortcuts on the session bus, for the tests: the
org.freedesktop.portal.Desktop name with the GlobalShortcuts interface (and the registry of
newer portals), answering each request with a Response signal on its request object as a real
portal does. Prints "ready" once it owns the name.

A side door, org.tarvo.test.FakePortal on /org/tarvo/test/FakePortal, lets a test press a shortcut
(Trigger), change what the desktop assigned (Assign) and read the calls received (Calls, JSON).

    global_shortcuts_portal.py [--version N] [--no-registry] [--answer METHOD=CODE|never]
                               [--assign ID=TRIGGER ...] [--unassigned ID ...]

--version 0 serves no GlobalShortcuts interface. --answer gives a method's Response code (0 by
default) or makes it never answer. --assign is what the desktop holds for the app from before
(ListShortcuts) and what it assigns when asked (BindShortcuts assigns the rest as proposed, but
never those named by --unassigned)."""

import argparse
import json
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SIDE_DOOR_PATH = "/org/tarvo/test/FakePortal"

SHORTCUTS = """
<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a(sa{sv})" name="shortcuts" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="request_handle" direction="out"/>
    </method>
    <method name="ListShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="request_handle" direction="out"/>
    </method>
    %s
    <signal name="Activated">
      <arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/>
    </signal>
    <signal name="Deactivated">
      <arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/>
    </signal>
    <signal name="ShortcutsChanged">
      <arg type="o"/><arg type="a(sa{sv})"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
"""
CONFIGURE = """
    <method name="ConfigureShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
    </method>"""
REGISTRY = """
<node>
  <interface name="org.freedesktop.host.portal.Registry">
    <method name="Register">
      <arg type="s" name="app_id" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
    </method>
  </interface>
</node>
"""
SESSION = """
<node>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>
"""
SIDE_DOOR = """
<node>
  <interface name="org.tarvo.test.FakePortal">
    <method name="Trigger">
      <arg type="s" name="id" direction="in"/>
      <arg type="s" name="activation_token" direction="in"/>
    </method>
    <method name="Assign">
      <arg type="s" name="id" direction="in"/>
      <arg type="s" name="trigger" direction="in"/>
    </method>
    <method name="Calls">
      <arg type="s" name="json" direction="out"/>
    </method>
  </interface>
</node>
"""


def described(trigger):
    """A trigger as desktops show it: "CTRL+ALT+c" reads "Ctrl+Alt+C"."""
    return "+".join(part.capitalize() if len(part) > 1 else part.upper()
                    for part in trigger.split("+") if part)


def say(line):
    print(line, flush=True)


class Portal:
    def __init__(self, bus, options):
        self.bus, self.options = bus, options
        self.calls = []
        self.assigned = dict(item.split("=", 1) for item in options.assign)
        self.bound = {}  # session -> {id: description}
        self.sessions = {}  # session -> registration id

    def sender_path(self, sender, token):
        return "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)

    def code(self, method):
        return dict(item.split("=", 1) for item in self.options.answer).get(method, "0")

    def answer(self, method, request, results):
        setting = self.code(method)
        if setting == "never":
            return
        code = int(setting)
        GLib.idle_add(lambda: self.bus.emit_signal(
            None, request, "org.freedesktop.portal.Request", "Response",
            GLib.Variant("(ua{sv})", (code, results if code == 0 else {}))) and False)

    def shortcuts_of(self, session):
        described = self.bound.get(session, {})
        return GLib.Variant("a(sa{sv})", [
            (shortcut, {"description": GLib.Variant("s", description),
                        "trigger_description": GLib.Variant("s", self.assigned.get(shortcut, ""))})
            for shortcut, description in described.items()])

    def call(self, connection, sender, path, interface, method, parameters, invocation):
        arguments = parameters.unpack()
        self.calls.append({"method": method, "arguments": json.loads(json.dumps(
            arguments, default=str))})
        if interface == "org.freedesktop.host.portal.Registry":
            invocation.return_value(None)
        elif interface == "org.freedesktop.portal.Session":
            self.bound.pop(path, None)
            invocation.return_value(None)
        elif method == "ConfigureShortcuts":
            invocation.return_value(None)
        elif method == "CreateSession":
            (options,) = arguments
            request = self.sender_path(sender, options["handle_token"])
            session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"),
                                            options["session_handle_token"])
            self.bound[session] = {}
            self.sessions[session] = connection.register_object(
                session, Gio.DBusNodeInfo.new_for_xml(SESSION).interfaces[0], self.call,
                None, None)
            invocation.return_value(GLib.Variant("(o)", (request,)))
            self.answer(method, request, {"session_handle": GLib.Variant("s", session)})
        elif method == "ListShortcuts":
            session, options = arguments
            # What the desktop kept from earlier runs, described as it was then.
            self.bound.setdefault(session, {}).update(
                {shortcut: shortcut for shortcut in self.assigned
                 if shortcut not in self.bound[session]})
            request = self.sender_path(sender, options["handle_token"])
            invocation.return_value(GLib.Variant("(o)", (request,)))
            self.answer(method, request, {"shortcuts": self.shortcuts_of(session)})
        elif method == "BindShortcuts":
            session, shortcuts, _, options = arguments
            request = self.sender_path(sender, options["handle_token"])
            invocation.return_value(GLib.Variant("(o)", (request,)))
            if self.code(method) != "0":
                self.answer(method, request, {})
                return
            self.bound[session] = {}
            for shortcut, properties in shortcuts:
                self.bound[session][shortcut] = properties.get("description", "")
                if shortcut not in self.options.unassigned:
                    self.assigned.setdefault(shortcut, described(
                        properties.get("preferred_trigger", "")))
            self.answer(method, request, {"shortcuts": self.shortcuts_of(session)})

    def side_door(self, connection, sender, path, interface, method, parameters, invocation):
        arguments = parameters.unpack()
        if method == "Calls":
            invocation.return_value(GLib.Variant("(s)", (json.dumps(self.calls),)))
            return
        if method == "Trigger":
            shortcut, token = arguments
            options = {"activation_token": GLib.Variant("s", token)} if token else {}
            for session, bound in self.bound.items():
                if shortcut in bound:
                    for signal in ("Activated", "Deactivated"):
                        self.bus.emit_signal(
                            None, PATH, "org.freedesktop.portal.GlobalShortcuts", signal,
                            GLib.Variant("(osta{sv})", (session, shortcut, 1, options)))
        elif method == "Assign":
            shortcut, trigger = arguments
            self.assigned[shortcut] = trigger
            for session, bound in self.bound.items():
                if shortcut in bound:
                    self.bus.emit_signal(
                        None, PATH, "org.freedesktop.portal.GlobalShortcuts",
                        "ShortcutsChanged",
                        GLib.Variant.new_tuple(GLib.Variant("o", session),
                                               self.shortcuts_of(session)))
        invocation.return_value(None)

    def get_property(self, connection, sender, path, interface, name):
        return GLib.Variant("u", self.options.version)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", type=int, default=1)
    parser.add_argument("--no-registry", action="store_true")
    parser.add_argument("--answer", action="append", default=[])
    parser.add_argument("--assign", action="append", default=[])
    parser.add_argument("--unassigned", action="append", default=[])
    options = parser.parse_args()

    loop = GLib.MainLoop()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    portal = Portal(bus, options)
    if options.version > 0:
        node = Gio.DBusNodeInfo.new_for_xml(SHORTCUTS % (CONFIGURE if options.version >= 2 else ""))
        bus.register_object(PATH, node.interfaces[0], portal.call, portal.get_property, None)
    if not options.no_registry:
        node = Gio.DBusNodeInfo.new_for_xml(REGISTRY)
        bus.register_object(PATH, node.interfaces[0], portal.call, None, None)
    node = Gio.DBusNodeInfo.new_for_xml(SIDE_DOOR)
    bus.register_object(SIDE_DOOR_PATH, node.interfaces[0], portal.side_door, None, None)

    def lost(*_):
        say("name taken")
        loop.quit()

    Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE,
                                   lambda *_: say("ready"), lost)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
