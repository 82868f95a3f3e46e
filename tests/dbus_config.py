"""Configuration of a private dbus-daemon that processes of every user may join and use
without restriction (a test's fakes as root, the program under test as another user)."""

OPEN_BUS = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>%s</type>
  <listen>%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
"""


def open_bus(bus_type, address):
    """The configuration file's text: bus_type "session" or "system", listening at address
    (e.g. "unix:path=/tmp/x/bus")."""
    return OPEN_BUS % (bus_type, address)
