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

import collections
import contextlib
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

from harness import (TRAYER, WINDOW_TITLE, Processes, Simulator, Skip, X11,  # noqa: E402,F401
                     log, start_xvfb, wait_until)
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
    for tool in ("Xvfb", "openbox", "trayer", "xdotool", "xwd"):
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


@contextlib.contextmanager
def work_directory(keep=False):
    """A new directory for the files and logs of one run. When the run fails, the end of
    each log is printed; the directory is removed unless keep is true."""
    workdir = tempfile.mkdtemp(prefix="corvolt-wine-")
    try:
        yield workdir
    except Exception:
        for name in sorted(os.listdir(workdir)):
            if name.endswith(".log"):
                with open(os.path.join(workdir, name), errors="replace") as f:
                    print("--- %s\n%s" % (name, f.read()[-3000:]), flush=True)
        raise
    finally:
        if not keep:
            shutil.rmtree(workdir, ignore_errors=True)


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

    @staticmethod
    def active_window_name():
        """Name of the window that the window manager holds active, or None."""
        x11 = X11()
        active = x11.root.get_full_property(x11.dpy.intern_atom("_NET_ACTIVE_WINDOW"),
                                            x11.X.AnyPropertyType)
        if not (active and active.value[0]):
            return None
        return x11.name(x11.dpy.create_resource_object("window", active.value[0]))

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

    def create(self, template=None):
        """Makes the prefix, from a template made by make_template() when one is given (a
        second or so instead of the five of a new prefix), and starts its session."""
        if template:
            copy_template(template, self.path, self.ports)
        else:
            self.run("wineboot", "--init", timeout=180)
            for number, path in enumerate(self.ports, 1):
                self.run("reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % number,
                         "/d", path, "/f")
            # Started again, Wine makes the links from the registry.
            subprocess.run([self.wineserver, "-k"], env=self.env, timeout=30)
            subprocess.run([self.wineserver, "-w"], env=self.env, timeout=60)
        # The persistent server keeps this session, and with it the links, until shutdown().
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


def unescape(text):
    """A text as the inspector writes it, with "\\", "\\t", "\\r" and "\\n" escaped."""
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "r": "\r", "n": "\n"}.get(m.group(1),
                                                                         m.group(1)), text)


# An open message box: owner window (hex), title, text, its buttons as {id: text}, and the id
# of its default button (0 for none).
MessageBox = collections.namedtuple("MessageBox", "owner title text buttons default")
IDOK, IDCANCEL, IDRETRY = 1, 2, 4


class Reading(dict):
    """The window's controls as {name: (shown, text)}, and in .boxes the open message boxes."""

    boxes = ()


class Inspector:
    """corvolt_inspect.exe in the prefix: reads the window from outside (see window_reader.cpp)."""

    def __init__(self, prefix, program):
        self.prefix = prefix
        self.program = program

    def controls(self, window=None):
        """A Reading of the window with that handle, or of the first Corvolt window; empty
        while there is none."""
        output = self.prefix.run(self.program, *([window] if window else []), check=False,
                                 timeout=30)
        reading = Reading()
        reading.boxes = []
        for line in (output or "").splitlines():
            fields = line.split("\t")
            if fields[0] == "MessageBox":
                owner, title, text, buttons, default = fields[1:6]
                reading.boxes.append(MessageBox(owner, unescape(title), unescape(text), dict(
                    (int(i), unescape(t)) for i, _, t in
                    (b.partition(":") for b in buttons.split("|") if b)), int(default)))
            else:
                reading[fields[0]] = (fields[1] == "1", unescape(fields[2]))
        return reading

    def wait_for(self, predicate, timeout, what, window=None):
        """Reads the window until predicate(reading) holds; returns that reading. A timeout
        names the last reading."""
        last = [None]

        def ready():
            last[0] = self.controls(window)
            return last[0] if predicate(last[0]) else None
        try:
            return wait_until(ready, timeout, what)
        except AssertionError as e:
            raise AssertionError("%s; last reading: %r, boxes %r"
                                 % (e, last[0], last[0].boxes if last[0] else None)) from None


TEMPLATE_PORT = "corvolt-template-com%d"


def make_template(directory):
    """A prefix made once for many cases (WinePrefix.create(template=directory)); its COM
    ports are named with placeholders, which every copy replaces with its own ptys."""
    os.makedirs(directory, exist_ok=True)
    prefix = WinePrefix(None, directory, [TEMPLATE_PORT % n for n in range(1, COM_PORTS + 1)])
    shutil.rmtree(prefix.path, ignore_errors=True)
    prefix.run("wineboot", "--init", timeout=180)
    for number, path in enumerate(prefix.ports, 1):
        prefix.run("reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % number, "/d",
                   path, "/f")
    prefix.shutdown()
    log("wine prefix template %s" % prefix.path)


def copy_template(template, path, ports):
    """Copies the template's prefix to path with the given ports. Wine only reads the
    prefix's program files, so they are hard links; the registry files, which the server
    rewrites, are copies."""
    def link_or_copy(source, target):
        try:
            os.link(source, target)
        except OSError:
            shutil.copy2(source, target)
    shutil.copytree(os.path.join(template, "wineprefix"), path, symlinks=True,
                    copy_function=link_or_copy)
    for name in os.listdir(path):
        if name.endswith(".reg"):
            target = os.path.join(path, name)
            os.unlink(target)
            shutil.copy2(os.path.join(template, "wineprefix", name), target)
    system_reg = os.path.join(path, "system.reg")
    with open(system_reg, encoding="latin-1") as f:
        text = f.read()
    for number, port in enumerate(ports, 1):
        placeholder = '"COM%d"="%s"' % (number, TEMPLATE_PORT % number)
        if text.count(placeholder) != 1:
            raise PortGuardError("the template names no COM%d placeholder" % number)
        text = text.replace(placeholder, '"COM%d"="%s"' % (number, port))
    with open(system_reg, "w", encoding="latin-1") as f:
        f.write(text)
