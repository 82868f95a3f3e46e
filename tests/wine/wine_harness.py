"""Pieces for running the Windows edition (corvolt.exe) under Wine: a headless desktop
started in the order Wine's tray needs (Xvfb, then openbox, then trayer), a throwaway Wine
prefix whose COM1 to COM4 are all test pseudo-terminals, checked before and after every run,
and the inspector (corvolt_inspect.exe), which reads the window's controls from inside the
prefix.

Wine maps the machine's /dev/ttyS0 to COM1 by itself and rewrites the plain links in
dosdevices when a prefix starts; only the ports named under HKLM\\Software\\Wine\\Ports
survive that. So every COMn is named there, the prefix is started once to let Wine make
its links, its wineserver is kept running so that nothing rewrites them afterwards, and a
program is only started while every dosdevices/comN points at one of the test's ptys.

Reuses the process handling, the UPS simulator and the X11 helpers of tests/e2e/harness.py.
"""

import os
import pty
import shutil
import subprocess
import sys
import tempfile
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

from harness import (TRAYER, Processes, Simulator, Skip, X11, log,  # noqa: E402,F401
                     start_xvfb, wait_until)
from run_e2e import skipped  # noqa: E402,F401

COM_PORTS = 4


def find_wine():
    """The 64-bit Wine loader: wine64 on the PATH, or where Debian's wine64 puts it."""
    for candidate in (shutil.which("wine64"), "/usr/lib/wine/wine64"):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


def check_prerequisites(*programs):
    """Raises Skip naming everything missing: Wine, the desktop's programs, python3-xlib,
    and the given Windows programs."""
    missing = []
    if not find_wine():
        missing.append("wine64 (package wine64)")
    for tool in ("Xvfb", "openbox", "trayer", "xdotool"):
        if not shutil.which(tool):
            missing.append("the program %s" % tool)
    try:
        import Xlib.display  # noqa: F401
    except ImportError:
        missing.append("the Python module Xlib (python3-xlib)")
    for program in programs:
        if not (program and os.path.isfile(program)):
            missing.append(str(program))
    if missing:
        raise Skip("cannot run: missing " + "; ".join(missing))


class PortGuardError(RuntimeError):
    """A COM port of the prefix would reach something other than a test pty."""


class SparePort:
    """A pty that no UPS writes to, for a COM port that must exist but stay silent."""

    def __init__(self):
        self.fd, slave = pty.openpty()
        tty.setraw(slave)
        self.path = os.ttyname(slave)
        os.close(slave)

    def close(self):
        os.close(self.fd)


class WineDesktop:
    """Xvfb, then openbox, then trayer. A tray started before the window manager shows
    Wine's icon blank and never passes it a click."""

    def __init__(self, procs):
        self.procs = procs
        self.display = None
        self.panel = None

    def start(self):
        self.display = start_xvfb(self.procs)
        x11 = X11()
        check = x11.dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
        self.procs.start("openbox", ["openbox", "--sm-disable"])
        wait_until(lambda: x11.root.get_full_property(check, x11.X.AnyPropertyType), 10,
                   "openbox")
        self.procs.start("trayer", TRAYER)
        self.panel = wait_until(lambda: self.find_window(x11, "panel"), 10, "trayer's panel")
        log("desktop %s: openbox, trayer" % self.display)

    @staticmethod
    def find_window(x11, name):
        """The window of that name at any depth: the window manager reparents top-level
        windows into its frames."""
        return next((w for w in DescendantsOf(x11.root) if x11.name(w) == name), None)

    def tray_icon(self):
        """An icon embedded in trayer's panel (the test's program is the only one there)."""
        for win in DescendantsOf(self.panel):
            geometry = win.get_geometry()
            if 8 <= geometry.width <= 32 and 8 <= geometry.height <= 32:
                return win
        return None


def DescendantsOf(parent):
    """Every window below parent, at any depth."""
    stack = list(parent.query_tree().children)
    while stack:
        win = stack.pop()
        yield win
        try:
            stack.extend(win.query_tree().children)
        except Exception:  # the window went away meanwhile
            pass


class WinePrefix:
    """A new Wine prefix in workdir whose COM1..COM4 are the given pty paths."""

    def __init__(self, procs, workdir, ports):
        if len(ports) != COM_PORTS:
            raise ValueError("a path for each of COM1 to COM%d" % COM_PORTS)
        self.procs = procs
        self.ports = list(ports)
        self.path = os.path.join(workdir, "wineprefix")
        self.wine = find_wine()
        self.wineserver = os.path.join(os.path.dirname(self.wine), "wineserver")
        self.log = os.path.join(workdir, "wine.log")
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def run(self, *argv, timeout=120, check=True):
        """Runs a Windows program of the prefix to its end; returns its standard output.
        The output goes through a file: the first program of a session starts Wine's
        services, which would hold a pipe open long after the program has ended."""
        with tempfile.TemporaryFile() as out, open(self.log, "ab") as err:
            result = subprocess.run([self.wine, *argv], env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            output = out.read().decode("utf-8", errors="replace")
        if check and result.returncode != 0:
            raise RuntimeError("%s ended with %d" % (argv[0], result.returncode))
        return output if result.returncode == 0 else None

    def create(self):
        self.run("wineboot", "--init", timeout=180)
        for number, path in enumerate(self.ports, 1):
            self.run("reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % number,
                     "/d", path, "/f")
        # Started again, Wine makes the links from the registry; the persistent server
        # then keeps this session, and with it the links, until shutdown().
        subprocess.run([self.wineserver, "-k"], env=self.env, timeout=30)
        subprocess.run([self.wineserver, "-w"], env=self.env, timeout=60)
        subprocess.run([self.wineserver, "-p"], env=self.env, check=True, timeout=30)
        self.run("reg", "query", r"HKLM\Software\Wine\Ports")
        self.check_ports()
        log("wine prefix %s: COM1..COM%d = %s" % (self.path, COM_PORTS, ", ".join(self.ports)))

    def check_ports(self):
        """Raises PortGuardError unless every dosdevices/comN is the test's pty."""
        for number, path in enumerate(self.ports, 1):
            link = os.path.join(self.path, "dosdevices", "com%d" % number)
            target = os.readlink(link) if os.path.islink(link) else None
            if target != path:
                raise PortGuardError("COM%d of the prefix is %s, not the test's %s: refusing "
                                     "to run" % (number, target, path))

    def start(self, name, program, *args):
        """Starts a Windows program in the background, once the ports are checked."""
        self.check_ports()
        return self.procs.start(name, [self.wine, program, *args], env=self.env)

    def shutdown(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, timeout=30)
        subprocess.run([self.wineserver, "-w"], env=self.env, timeout=60)


class Inspector:
    """corvolt_inspect.exe in the prefix: the window's controls as {name: (shown, text)}."""

    def __init__(self, prefix, program):
        self.prefix = prefix
        self.program = program

    def controls(self):
        output = self.prefix.run(self.program, check=False, timeout=30)
        controls = {}
        for line in (output or "").splitlines():
            name, shown, text = line.split("\t", 2)
            controls[name] = (shown == "1", text)
        return controls

    def wait_for(self, predicate, timeout, what):
        """Reads the window until predicate(controls) holds; returns those controls."""
        def ready():
            controls = self.controls()
            return controls if predicate(controls) else None
        return wait_until(ready, timeout, what)
