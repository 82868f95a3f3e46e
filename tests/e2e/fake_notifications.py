#!/usr/bin/python3
"""A stand-in for the desktop's notification service on a private D-Bus bus.

Owns org.freedesktop.Notifications and serves /org/freedesktop/Notifications with the
methods of the Desktop Notifications Specification. Every Notify and CloseNotification is
appended to the --calls file as one JSON object per line, e.g.
{"call": "Notify", "id": 1, "app_name": "Orvane Corvolt", "summary": "...", "urgency": 2, ...}
{"call": "CloseNotification", "id": 1}
Nothing is shown.

    fake_notifications.py --address unix:path=... --calls notifications.jsonl [--ready FILE]
"""

import json
import sys

import dbus
import dbus.service

import dbus_fake

BUS_NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
INTERFACE = "org.freedesktop.Notifications"


def plain(value):
    """The D-Bus value as a JSON-friendly Python value, keeping its D-Bus type name."""
    if isinstance(value, dbus.Byte):
        return {"byte": int(value)}
    if isinstance(value, (dbus.Boolean, bool)):
        return bool(value)
    if isinstance(value, (int, dbus.Int32, dbus.UInt32, dbus.Int64, dbus.UInt64)):
        return int(value)
    return str(value)


class Notifications(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, PATH)
        self.record = record
        self.last_id = 0

    @dbus.service.method(INTERFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        self.last_id = int(replaces_id) or self.last_id + 1
        urgency = hints.get("urgency")
        self.record({"call": "Notify", "id": self.last_id, "app_name": str(app_name),
                     "replaces_id": int(replaces_id), "app_icon": str(app_icon),
                     "summary": str(summary), "body": str(body),
                     "actions": [str(a) for a in actions],
                     "hints": {str(k): plain(v) for k, v in hints.items()},
                     "urgency": int(urgency) if isinstance(urgency, dbus.Byte) else None,
                     "expire_timeout": int(timeout)})
        return dbus.UInt32(self.last_id)

    @dbus.service.method(INTERFACE, in_signature="u", out_signature="")
    def CloseNotification(self, notification_id):
        self.record({"call": "CloseNotification", "id": int(notification_id)})
        self.NotificationClosed(notification_id, dbus.UInt32(3))

    @dbus.service.method(INTERFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(INTERFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("fake-notifications", "Corvolt tests", "1.0", "1.2")

    @dbus.service.signal(INTERFACE, signature="uu")
    def NotificationClosed(self, notification_id, reason):
        pass


def main():
    return dbus_fake.run_recording(
        __doc__.split("\n\n")[0], BUS_NAME, "--calls", "file that records the calls (JSON lines)",
        lambda bus, write: Notifications(
            bus, lambda entry: write(json.dumps(entry, ensure_ascii=False))))


if __name__ == "__main__":
    sys.exit(main())
