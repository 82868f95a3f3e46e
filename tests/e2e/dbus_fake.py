"""What the fake D-Bus services share: owning their name and running until ended."""

import argparse
import os

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib


def serve(bus, bus_name, ready=None):
    """Owns bus_name on bus, creates the file ready (holding the pid) once it is owned, and
    runs the main loop until SIGINT; returns the exit status."""
    name = dbus.service.BusName(bus_name, bus)
    if ready:
        with open(ready, "w") as f:
            f.write(str(os.getpid()))
    try:
        GLib.MainLoop().run()
    except KeyboardInterrupt:
        pass
    del name
    return 0


def run_recording(description, bus_name, record_option, record_help, make_object):
    """The whole life of a fake service that records what it is asked in a file: parses
    --address, the record_option naming the file, and --ready; make_object(bus, record)
    creates the served object, record(line) appends a line to the file."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--address", required=True, help="address of the bus to serve on")
    parser.add_argument(record_option, required=True, dest="record", help=record_help)
    parser.add_argument("--ready", help="file created once the name is owned")
    args = parser.parse_args()

    lines = open(args.record, "a", buffering=1)
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(args.address)
    make_object(bus, lambda line: lines.write(line + "\n"))
    return serve(bus, bus_name, args.ready)
