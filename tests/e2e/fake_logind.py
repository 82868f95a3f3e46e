#!/usr/bin/python3
"""A stand-in for systemd-logind's power-off service on a private D-Bus bus.

Owns org.freedesktop.login1 and serves /org/freedesktop/login1 with the
org.freedesktop.login1.Manager methods a power-off request uses (CanPowerOff, PowerOff,
and the same pair for reboot, halt and suspend). Every method call that reaches the
name is appended to the --calls file, one line each, e.g. "PowerOff false", so that a
test can tell what the monitor asked for. With --times, the same lines also go to a
second file preceded by the CLOCK_MONOTONIC time at which the call arrived (seconds, as
time.monotonic() gives them in any process), e.g. "1234.567890 PowerOff false".
Nothing is ever powered off. With --hang the calls are recorded but never answered, as by
a logind that has stopped responding. "challenge" stands for logind with the package's
polkit rule in force: PowerOff is then accepted unless --power-off-error says otherwise.
--can-power-off may list answers separated by commas, given one per call in turn, the last
one for every call after them (e.g. "yes,no": the power-off is taken away after the first
call).

    fake_logind.py --address unix:path=... --calls calls.txt [--times times.txt] [--can-power-off no]
                   [--power-off-error org.freedesktop.DBus.Error.InteractiveAuthorizationRequired]
                   [--hang]
"""

import argparse
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service

import dbus_fake

BUS_NAME = "org.freedesktop.login1"
PATH = "/org/freedesktop/login1"
MANAGER = "org.freedesktop.login1.Manager"


def dbus_text(value):
    if isinstance(value, dbus.Boolean):
        return "true" if value else "false"
    return str(value)


class Manager(dbus.service.Object):
    def __init__(self, bus, args, record):
        super().__init__(bus, PATH)
        self.args = args
        self.record = record
        self.answers = args.can_power_off.split(",")
        self.asked = 0

    def _can(self, name):
        self.record(name)
        answer = self.answers[min(self.asked, len(self.answers) - 1)]
        self.asked += 1
        return answer

    def _act(self, name, interactive):
        self.record("%s %s" % (name, dbus_text(interactive)))
        if self.args.power_off_error:
            raise dbus.exceptions.DBusException("Interactive authentication required.",
                                                name=self.args.power_off_error)

    @dbus.service.method(MANAGER, in_signature="", out_signature="s",
                         async_callbacks=("reply", "error"))
    def CanPowerOff(self, reply, error):
        answer = self._can("CanPowerOff")
        if not self.args.hang:
            reply(answer)

    @dbus.service.method(MANAGER, in_signature="b", out_signature="",
                         async_callbacks=("reply", "error"))
    def PowerOff(self, interactive, reply, error):
        try:
            self._act("PowerOff", interactive)
        except dbus.exceptions.DBusException as e:
            if not self.args.hang:
                error(e)
            return
        if not self.args.hang:
            reply()

    @dbus.service.method(MANAGER, in_signature="", out_signature="s")
    def CanReboot(self):
        return self._can("CanReboot")

    @dbus.service.method(MANAGER, in_signature="b", out_signature="")
    def Reboot(self, interactive):
        self._act("Reboot", interactive)

    @dbus.service.method(MANAGER, in_signature="b", out_signature="")
    def Halt(self, interactive):
        self._act("Halt", interactive)

    @dbus.service.method(MANAGER, in_signature="b", out_signature="")
    def Suspend(self, interactive):
        self._act("Suspend", interactive)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--address", required=True, help="address of the bus to serve on")
    parser.add_argument("--calls", required=True, help="file that records the method calls")
    parser.add_argument("--times", help="file that records the method calls with their arrival time")
    parser.add_argument("--ready", help="file created once the name is owned")
    parser.add_argument("--can-power-off", default="yes",
                        help="answers of CanPowerOff/CanReboot in turn: yes, no, challenge, na")
    parser.add_argument("--power-off-error",
                        help="D-Bus error name that PowerOff and the like fail with")
    parser.add_argument("--hang", action="store_true",
                        help="never answer CanPowerOff and PowerOff (a logind that hangs)")
    args = parser.parse_args()

    calls = open(args.calls, "a", buffering=1)
    times = open(args.times, "a", buffering=1) if args.times else None

    def record(text):
        arrived = time.monotonic()
        calls.write(text + "\n")
        if times:
            times.write("%.6f %s\n" % (arrived, text))

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(args.address)

    # Logs calls to anything under the name that the Manager object does not serve
    # (properties, other interfaces). The filter must leave the message to the normal
    # dispatch: returning None would mark it handled and the caller would never get an
    # answer (a Qt client then waits 25 s for its Introspect call).
    def filter_calls(connection, message):
        if (message.get_type() == dbus.lowlevel.MESSAGE_TYPE_METHOD_CALL
                and message.get_interface() not in (MANAGER, "org.freedesktop.DBus.Introspectable")
                and message.get_destination() == BUS_NAME):
            record("other %s.%s" % (message.get_interface(), message.get_member()))
        return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED

    bus.add_message_filter(filter_calls)
    Manager(bus, args, record)
    return dbus_fake.serve(bus, BUS_NAME, args.ready)


if __name__ == "__main__":
    sys.exit(main())
