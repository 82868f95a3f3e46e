"""What the fake D-Bus services share: owning their name and running until ended."""

import os

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
