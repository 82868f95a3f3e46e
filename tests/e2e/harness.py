"""Pieces of the end-to-end tests: a headless desktop (Xvfb, a private session bus with
the accessibility bus, optionally the trayer notification area), the UPS simulator on a
pseudo-terminal, a fake logind on a private system bus, and the corvolt binary started
in a private mount namespace where /dev/ttyS0 (COM1) is the simulator's pty.

What the window shows is read from outside only: through AT-SPI (the accessibility tree
that Qt publishes) and through the X server (window map state, stacking order, pixels).

Runs with /usr/bin/python3, which has the dbus and gi modules.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
import private_mounts  # noqa: E402
SIMULATOR = os.path.join(REPO, "tools", "ups_sim.py")
FAKE_LOGIND = os.path.join(HERE, "fake_logind.py")
FAKE_NOTIFICATIONS = os.path.join(HERE, "fake_notifications.py")
PYTHON = "/usr/bin/python3"
ATSPI_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
COM1 = "/dev/ttyS0"
WINDOW_TITLE = "Orvane   Corvolt"
# A notification area at the top right of the screen.
TRAYER = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
          "--height", "24", "--SetDockType", "true"]


class Skip(Exception):
    """The machine cannot run the end-to-end tests (not a failure of the monitor)."""


# What the monitor's private mount namespaces mount over (besides COM1's node).
MOUNT_POINTS = ("/run/lock", "/sys/class/tty", "/mnt")


def check_prerequisites(binary):
    """Raises Skip naming everything that is missing. Where no private mount namespace can
    be made, that alone is the reason: nothing else could help."""
    missing = []
    if os.geteuid() != 0:
        missing.append("root (needed for unshare --mount and mount --bind)")
    elif shutil.which("unshare"):
        problem = private_mounts.problem(MOUNT_POINTS)
        if problem:
            raise Skip("cannot run: missing " + problem)
    for tool in ("Xvfb", "unshare", "mount", "dbus-daemon", "trayer", "import"):
        if not shutil.which(tool):
            missing.append("the program %s" % tool)
    if not os.path.exists(ATSPI_LAUNCHER):
        missing.append(ATSPI_LAUNCHER + " (package at-spi2-core)")
    if not os.path.exists(COM1):
        # The pty is bind-mounted over COM1's node; without a node there is nothing to
        # mount over, and creating one would change the host's /dev.
        missing.append(COM1 + " (the node the simulator's pty is mounted over)")
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
        import dbus  # noqa: F401
        import Xlib.display  # noqa: F401
    except (ImportError, ValueError) as e:
        missing.append("Python modules for %s: %s (gir1.2-atspi-2.0 python3-gi python3-dbus "
                       "python3-xlib)" % (sys.executable, e))
    if not (binary and os.access(binary, os.X_OK)):
        missing.append("the corvolt binary (%s)" % binary)
    if missing:
        raise Skip("cannot run: missing " + "; ".join(missing))


def log(msg):
    print("[%8.3f] %s" % (time.monotonic() % 100000, msg), flush=True)


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value, which is returned; raises
    AssertionError naming what after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def cpu_ns(pid):
    """Nanoseconds on a CPU of all the threads of pid."""
    total = 0
    task_dir = "/proc/%d/task" % pid
    for tid in os.listdir(task_dir):
        try:
            with open(os.path.join(task_dir, tid, "schedstat")) as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:  # the thread ended meanwhile
            pass
    return total


def smaps_kb(pid, *fields):
    """Sum of the given fields of /proc/PID/smaps_rollup, in kB."""
    values = {}
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            name, _, rest = line.partition(":")
            if name in fields:
                values[name] = int(rest.split()[0])
    if len(values) != len(fields):
        raise RuntimeError("no %s in /proc/%d/smaps_rollup" % (", ".join(fields), pid))
    return sum(values.values())


def pss_kb(pid):
    """Proportional set size: private pages plus a share of every page mapped by others."""
    return smaps_kb(pid, "Pss")


def anonymous_kb(pid):
    """Memory not backed by a file (heap, stacks): unlike Pss it does not move when other
    programs map the same libraries, so it is where a leak shows."""
    return smaps_kb(pid, "Anonymous")


class Processes:
    """Children started in their own process groups, so that each can be ended with
    everything it started, in reverse order of starting."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.children = []

    def start(self, name, argv, env=None, stdout=None, pass_fds=()):
        """Starts argv; its output (or only its errors, when stdout is given) goes to
        <name>.log in the work directory."""
        with open(os.path.join(self.workdir, name + ".log"), "ab") as log_file:
            proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                    stdout=log_file if stdout is None else stdout,
                                    stderr=log_file, start_new_session=True, pass_fds=pass_fds)
        proc.name = name
        self.children.append(proc)
        return proc

    @staticmethod
    def _signal_group(proc, sig, timeout):
        """Sends sig to the process group and waits; False if the leader is still running."""
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self, proc, timeout=3.0):
        if proc.poll() is None:
            self._signal_group(proc, signal.SIGTERM, timeout)
        # Whatever the group still holds (also after the leader ended) is killed.
        if not self._signal_group(proc, signal.SIGKILL, timeout):
            log("warning: %s (pid %d) did not end" % (proc.name, proc.pid))

    def stop_all(self):
        for proc in reversed(self.children):
            self.stop(proc)
        self.children.clear()


def start_xvfb(procs):
    """Starts Xvfb on a free display, which becomes $DISPLAY; returns it (":N")."""
    read_fd, write_fd = os.pipe()
    procs.start("xvfb", ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                         "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,))
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 15
    while not number.endswith(b"\n"):
        if time.monotonic() > deadline:
            raise RuntimeError("Xvfb did not report its display")
        chunk = os.read(read_fd, 16)
        if not chunk:
            raise RuntimeError("Xvfb ended before reporting its display")
        number += chunk
    os.close(read_fd)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return os.environ["DISPLAY"]


# X11 window managers a desktop can run, with their command lines.
WINDOW_MANAGERS = {
    "openbox": ["openbox", "--sm-disable"],
    "xfwm4": ["xfwm4", "--compositor=off", "--sm-client-disable"],
}


class Desktop:
    """Xvfb, a session bus with the accessibility bus launcher, optionally a window manager
    (WINDOW_MANAGERS) and trayer, started in this order: a tray started before the window
    manager never gets clicks."""

    def __init__(self, procs, workdir, tray=False, wm=None):
        self.procs = procs
        self.workdir = workdir
        self.tray = tray
        self.wm = wm
        self.display = None
        self.session_bus = None
        self.panel = None

    def start(self):
        self.display = start_xvfb(self.procs)

        _, self.session_bus = start_bus(self.procs, "session-bus")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.session_bus
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        env = dict(os.environ)
        self.procs.start("atspi-launcher", [ATSPI_LAUNCHER, "--launch-immediately"], env=env)
        wait_until(self.a11y_bus_ready, 10, "the accessibility bus")
        x11 = X11()
        if self.wm:
            self.procs.start(self.wm, WINDOW_MANAGERS[self.wm], env=env)
            wait_until(x11.window_manager, 10, "the window manager " + self.wm)
        if self.tray:
            self.procs.start("trayer", TRAYER, env=env)
            self.panel = wait_until(lambda: x11.find_by_name("panel"), 10, "trayer's panel")
        log("desktop %s, session bus %s%s%s" % (self.display, self.session_bus,
                                                ", " + self.wm if self.wm else "",
                                                ", trayer" if self.tray else ""))

    def a11y_bus_ready(self):
        result = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                                capture_output=True, timeout=5)
        return result.returncode == 0

    def app_env(self, runtime_dir, system_bus=None, locale="C.UTF-8"):
        """Environment of the monitor: Xvfb through xcb, accessibility always on, the
        private session bus (and its own accessibility bus found through it), and the
        locale (LANG and LC_ALL)."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "AT_SPI", "DBUS_", "XDG_", "LC_", "WAYLAND"))}
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "DBUS_SESSION_BUS_ADDRESS": self.session_bus,
            "XDG_RUNTIME_DIR": runtime_dir,
            "LANG": locale,
            "LC_ALL": locale,
        })
        # Without a private system bus the monitor must not reach a real logind.
        env["DBUS_SYSTEM_BUS_ADDRESS"] = system_bus or "unix:path=%s/no-system-bus" % runtime_dir
        return env


def start_bus(procs, name, address=None, config=None):
    """A private dbus-daemon (session configuration, or the given configuration file), at
    the given address or one of its own choosing; returns (process, address)."""
    argv = ["dbus-daemon", "--config-file=" + config if config else "--session", "--nofork",
            "--print-address=1"]
    if address:
        argv.append("--address=" + address)
    proc = procs.start(name, argv, stdout=subprocess.PIPE)
    line = proc.stdout.readline().decode().strip()
    if not line:
        raise RuntimeError("%s did not print its address" % name)
    return proc, line


def start_service(procs, workdir, name, argv):
    """Starts a fake service that creates a --ready file once it owns its name."""
    ready = os.path.join(workdir, name + "-ready")
    if os.path.exists(ready):
        os.unlink(ready)
    proc = procs.start(name, argv + ["--ready", ready])
    wait_until(lambda: os.path.exists(ready), 10, "the " + name)
    return proc


class FakeLogind:
    """org.freedesktop.login1 on a private bus that stands in for the system bus. The bus
    has a fixed address, so that restart() can bring it back where it was."""

    def __init__(self, procs, workdir, can_power_off="yes", power_off_error=None, hang=False):
        self.procs = procs
        self.workdir = workdir
        self.address = "unix:path=%s/system_bus_socket" % workdir
        self.calls_file = os.path.join(workdir, "logind-calls.txt")
        self.times_file = os.path.join(workdir, "logind-times.txt")
        self.argv = [PYTHON, FAKE_LOGIND, "--address", self.address, "--calls", self.calls_file,
                     "--times", self.times_file, "--can-power-off", can_power_off]
        if power_off_error:
            self.argv += ["--power-off-error", power_off_error]
        if hang:
            self.argv.append("--hang")
        self.start()

    def start(self):
        # The address without the daemon's guid: a restarted daemon has another one.
        self.bus_proc, _ = start_bus(self.procs, "system-bus", self.address)
        self.bus = self.address
        self.proc = start_service(self.procs, self.workdir, "fake-logind", self.argv)

    def restart(self):
        """The system bus and logind go down and come back (a restart of dbus)."""
        self.procs.stop(self.proc)
        self.procs.stop(self.bus_proc)
        self.start()

    def calls(self):
        try:
            with open(self.calls_file) as f:
                return [line.rstrip("\n") for line in f]
        except FileNotFoundError:
            return []

    def timed_calls(self):
        """[(monotonic time of arrival, call)], e.g. (1234.5, "PowerOff false")."""
        result = []
        try:
            with open(self.times_file) as f:
                for line in f:
                    t, _, call = line.rstrip("\n").partition(" ")
                    result.append((float(t), call))
        except FileNotFoundError:
            pass
        return result


class FakeNotifications:
    """org.freedesktop.Notifications on the desktop's session bus."""

    def __init__(self, procs, workdir, session_bus):
        self.calls_file = os.path.join(workdir, "notifications.jsonl")
        start_service(procs, workdir, "fake-notifications",
                      [PYTHON, FAKE_NOTIFICATIONS, "--address", session_bus,
                       "--calls", self.calls_file])

    def calls(self):
        """The recorded calls, as dicts (see fake_notifications.py)."""
        try:
            with open(self.calls_file) as f:
                return [json.loads(line) for line in f]
        except FileNotFoundError:
            return []


class Simulator:
    """tools/ups_sim.py on a new pty, steered through a FIFO, logging to a file."""

    def __init__(self, procs, workdir, *args):
        self.control = os.path.join(workdir, "ups.ctl")
        self.log_file = os.path.join(workdir, "ups.log")
        os.mkfifo(self.control, 0o600)
        self.proc = procs.start("ups-sim", [PYTHON, SIMULATOR, "--control", self.control,
                                            "--log", self.log_file, "--no-stdin", *args],
                                stdout=subprocess.PIPE)
        self.pty = self.proc.stdout.readline().decode().strip()
        if not self.pty.startswith("/dev/"):
            raise RuntimeError("the simulator did not print its pty")
        # Read-write keeps the FIFO usable even if the simulator reopens it.
        self._ctl = os.open(self.control, os.O_RDWR)

    def send(self, *commands):
        os.write(self._ctl, "".join(c + "\n" for c in commands).encode())

    def events(self, kind=None):
        """[(monotonic time, event, details)] from the simulator's log."""
        result = []
        try:
            with open(self.log_file) as f:
                for line in f:
                    t, _, rest = line.rstrip("\n").partition(" ")
                    event, _, details = rest.partition(" ")
                    if kind is None or event == kind:
                        result.append((float(t), event, details))
        except FileNotFoundError:
            pass
        return result

    def last(self, kind):
        events = self.events(kind)
        return events[-1] if events else None

    def wait_event(self, kind, after=0.0, timeout=10.0):
        """Time of the first event of this kind later than after."""
        def found():
            for t, _, _ in self.events(kind):
                if t > after:
                    return t
            return None
        return wait_until(found, timeout, "simulator event %r" % kind)


class Monitor:
    """The corvolt binary in a private mount namespace: the pty mounted over /dev/ttyS0
    and a private /run/lock, so that neither the host's COM1 nor its lock files are
    touched."""

    # The monitor counts ttyS0 only with a UART behind it in /sys: a private /sys/class/tty
    # says there is one, whatever the host has.
    UART_SYS = (' && mount -t tmpfs corvolt-tty /sys/class/tty'
                ' && mkdir -p /sys/class/tty/ttyS0/device && echo 4 > /sys/class/tty/ttyS0/type')
    SCRIPT = ('mount --bind "$0" /dev/ttyS0' + UART_SYS +
              ' && mount -t tmpfs -o mode=1777 corvolt-lock /run/lock && exec "$@"')

    # A private /dev instead, with only the nodes a desktop program needs and the pty as
    # each node named after it (e.g. ttyUSB0; "ttyS0=/dev/pts/7" puts another device
    # there): no ttyS0 unless named, so COM1 is the first of those.
    PRIVATE_DEV_SCRIPT = (
        'mount --rbind /dev /mnt && mount -t tmpfs -o mode=755 corvolt-dev /dev'
        ' && mkdir /dev/pts /dev/shm && mount --bind /mnt/pts /dev/pts'
        ' && mount --bind /mnt/shm /dev/shm && ln -s /proc/self/fd /dev/fd'
        ' && for n in null zero full random urandom tty ptmx; do'
        ' touch /dev/$n && mount --bind /mnt/$n /dev/$n || exit 1; done && umount -l /mnt'
        ' && pty="$0" && while [ "$1" != -- ]; do node="${1%%=*}" && source="${1#*=}"'
        ' && { [ "$source" != "$1" ] || source="$pty"; }'
        ' && touch "/dev/$node" && mount --bind "$source" "/dev/$node" || exit 1; shift; done'
        ' && shift' + UART_SYS + ' && mount -t tmpfs -o mode=1777 corvolt-lock /run/lock'
        ' && exec "$@"')

    def __init__(self, procs, binary, pty, env, name="corvolt", wrapper=(), namespace=None,
                 dev_names=None):
        """wrapper: a command that execs the binary (e.g. one that drops capabilities);
        namespace: a MountNamespace to start in instead of a new one of its own;
        dev_names: names the pty gets in a private /dev (instead of the pty over ttyS0)."""
        if dev_names is not None:
            enter = (["unshare", "--mount", "--propagation", "private", "sh", "-c",
                      self.PRIVATE_DEV_SCRIPT, pty] + list(dev_names) + ["--"])
        elif namespace is None:
            enter = ["unshare", "--mount", "--propagation", "private", "sh", "-c", self.SCRIPT, pty]
        else:
            enter = ["nsenter", "--target", str(namespace.pid), "--mount", "--"]
        self.proc = procs.start(name, enter + list(wrapper) + [binary], env=env)
        self.pid = self.proc.pid
        self.started = time.monotonic()

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("corvolt (pid %d) still runs after %.1f s" % (self.pid, timeout))

    def open_fds(self):
        """Targets of the process's open file descriptors (from /proc)."""
        fd_dir = "/proc/%d/fd" % self.pid
        targets = []
        try:
            for fd in os.listdir(fd_dir):
                try:
                    targets.append(os.readlink(os.path.join(fd_dir, fd)))
                except OSError:
                    pass
        except OSError:
            pass
        return targets


# Runs a program as root without any capability, as an ordinary user would be treated by
# the kernel: file modes and exclusive terminals (TIOCEXCL) apply to it.
WITHOUT_CAPABILITIES = ("setpriv", "--bounding-set=-all", "--inh-caps=-all", "--")


class MountNamespace:
    """A mount namespace set up as a Monitor's own (the pty over /dev/ttyS0, a private
    /run/lock) and kept by an idle process, so that monitors started one after another
    share its lock files. path() names a file as seen inside it."""

    def __init__(self, procs, pty):
        self.proc = procs.start("namespace", ["unshare", "--mount", "--propagation", "private",
                                              "sh", "-c", Monitor.SCRIPT, pty, "sleep", "infinity"])
        self.pid = self.proc.pid
        wait_until(lambda: os.readlink("/proc/%d/exe" % self.pid).endswith("/sleep"), 5,
                   "the mount namespace to be set up")

    def path(self, inside):
        return "/proc/%d/root%s" % (self.pid, inside)


class X11:
    """The X server's view: top-level windows, their map state and stacking order."""

    def __init__(self):
        from Xlib import X, display
        self.X = X
        self.dpy = display.Display(os.environ["DISPLAY"])
        self.root = self.dpy.screen().root
        self.pid_atom = self.dpy.intern_atom("_NET_WM_PID")

    def toplevels(self):
        """Children of the root window, bottom to top."""
        return self.root.query_tree().children

    def name(self, win):
        try:
            return win.get_wm_name()
        except Exception:
            return None

    def pid(self, win):
        try:
            prop = win.get_full_property(self.pid_atom, self.X.AnyPropertyType)
            return prop.value[0] if prop else None
        except Exception:
            return None

    def clients(self):
        """Top-level windows, and the children of window managers' frames."""
        for top in self.toplevels():
            yield top
            yield from self.children(top)

    def find_by_name(self, name):
        for win in self.clients():
            if self.name(win) == name:
                return win
        return None

    def main_window(self, pid):
        """The monitor's client window (a top-level one, or one in a window manager's
        frame)."""
        for win in self.clients():
            if self.name(win) == WINDOW_TITLE and self.pid(win) == pid:
                return win
        return None

    def children(self, win):
        try:
            return list(win.query_tree().children)
        except Exception:  # the window went away meanwhile
            return []

    def window_manager(self):
        """The name of the running window manager (_NET_SUPPORTING_WM_CHECK), or None."""
        check = self.dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
        try:
            prop = self.root.get_full_property(check, self.X.AnyPropertyType)
            if not prop:
                return None
            name = self.dpy.create_resource_object("window", prop.value[0]).get_full_property(
                self.dpy.intern_atom("_NET_WM_NAME"), self.X.AnyPropertyType)
            return name.value if name else None
        except Exception:
            return None

    def wm_state(self, win):
        """The ICCCM state the window manager gives win: 1 Normal, 3 Iconic, None when it
        does not manage it (withdrawn)."""
        atom = self.dpy.intern_atom("WM_STATE")
        try:
            prop = win.get_full_property(atom, atom)
            return prop.value[0] if prop and len(prop.value) else None
        except Exception:
            return None

    def toplevel_of(self, win):
        """The root's child that holds win (the window manager's frame, or win itself)."""
        try:
            while True:
                parent = win.query_tree().parent
                if parent.id == self.root.id:
                    return win
                win = parent
        except Exception:
            return None

    def above(self, win, other):
        """True when win's top-level window is stacked above other's."""
        order = [w.id for w in self.toplevels()]
        a, b = self.toplevel_of(win), self.toplevel_of(other)
        return a is not None and b is not None and order.index(a.id) > order.index(b.id)

    def active_window(self):
        """The window the window manager says is active (_NET_ACTIVE_WINDOW), or None."""
        try:
            prop = self.root.get_full_property(self.dpy.intern_atom("_NET_ACTIVE_WINDOW"),
                                               self.X.AnyPropertyType)
            return prop.value[0] if prop and len(prop.value) and prop.value[0] else None
        except Exception:
            return None

    def open_window(self, name, x, y, width, height):
        """A plain managed top-level window of this connection, mapped; it lives as long
        as the connection."""
        win = self.root.create_window(x, y, width, height, 0, self.dpy.screen().root_depth,
                                      background_pixel=self.dpy.screen().white_pixel)
        win.set_wm_name(name)
        win.set_wm_hints(flags=1, input=1)  # InputHint: it takes the focus
        win.map()
        self.dpy.sync()
        return win

    def activate(self, win):
        """Asks the window manager to activate win, as a pager or a click would."""
        subprocess.run(["xdotool", "windowactivate", "--sync", str(win.id)], check=True,
                       timeout=5, capture_output=True)

    def mapped(self, win):
        try:
            return win.get_attributes().map_state == self.X.IsViewable
        except Exception:
            return False

    def on_top(self, win):
        """True when win is the highest mapped top-level window."""
        mapped = [w for w in self.toplevels() if self.mapped(w)]
        return bool(mapped) and mapped[-1].id == win.id

    def descendants_of_pid(self, parent, pid):
        """Windows below parent (at any depth) that belong to pid: e.g. a tray icon
        embedded in the notification area."""
        found = []
        stack = list(parent.query_tree().children)
        while stack:
            win = stack.pop()
            if self.pid(win) == pid:
                found.append(win)
            try:
                stack.extend(win.query_tree().children)
            except Exception:
                pass
        return found

    def geometry(self, win):
        g = win.get_geometry()
        pos = win.translate_coords(self.root, 0, 0)
        return (-pos.x, -pos.y, g.width, g.height)

    def click(self, win):
        """A left click in the middle of win, through the XTEST extension (xdotool)."""
        x, y, w, h = self.geometry(win)
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                       check=True, timeout=5)


class Node:
    __slots__ = ("role", "name", "showing", "text", "value", "acc", "depth")

    def __repr__(self):
        return "%s%s %r%s%s" % ("  " * self.depth, self.role, self.name,
                                "" if self.showing else " (not showing)",
                                "" if self.value is None else " value=%g" % self.value)


class A11y:
    """Reads the monitor's accessibility tree through AT-SPI."""

    def __init__(self):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.Atspi = Atspi
        Atspi.init()

    def app(self, pid):
        desktop = self.Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                continue
        return None

    def snapshot(self, pid):
        """Every accessible object of the process, depth first, freshly read; an empty
        list when the process has not (or no longer) published its tree."""
        app = self.app(pid)
        if app is None:
            return []
        try:
            app.clear_cache()
        except Exception:
            pass
        nodes = []
        self._walk(app, 0, nodes)
        return nodes

    def _walk(self, acc, depth, nodes):
        Atspi = self.Atspi
        try:
            node = Node()
            node.acc, node.depth = acc, depth
            node.role = acc.get_role_name()
            node.name = acc.get_name()
            node.showing = acc.get_state_set().contains(Atspi.StateType.SHOWING)
            node.value = None
            try:
                iface = acc.get_value_iface()
                if iface is not None:
                    node.value = iface.get_current_value()
            except Exception:
                pass
            nodes.append(node)
            count = acc.get_child_count()
        except Exception:  # the object went away while it was read
            return
        for i in range(count):
            try:
                child = acc.get_child_at_index(i)
            except Exception:
                continue
            if child is not None:
                self._walk(child, depth + 1, nodes)

    @staticmethod
    def dump(nodes):
        return "\n".join(repr(n) for n in nodes) or "(no accessible tree)"

    @staticmethod
    def find(nodes, role, name=None, pattern=None):
        for n in nodes:
            if n.role == role and (name is None or n.name == name) and (
                    pattern is None or re.search(pattern, n.name or "")):
                return n
        return None

    @staticmethod
    def subtree(nodes, top):
        """Nodes below top (top excluded)."""
        i = next(k for k, n in enumerate(nodes) if n is top)
        result = []
        for n in nodes[i + 1:]:
            if n.depth <= top.depth:
                break
            result.append(n)
        return result

    def alerts(self, nodes):
        """[(alert node, [label texts], [button nodes])] for every open message box."""
        result = []
        for n in nodes:
            if n.role == "alert":
                inner = self.subtree(nodes, n)
                labels = [m.name for m in inner if m.role == "label" and m.name]
                buttons = [m for m in inner if m.role == "push button"]
                result.append((n, labels, buttons))
        return result

    def press(self, node):
        """Presses a button through its first AT-SPI action."""
        action = node.acc.get_action_iface()
        if action is None or action.get_n_actions() < 1:
            raise AssertionError("%r has no action" % node)
        action.do_action(0)


class Session:
    """Everything one test case starts, torn down in reverse order whatever happens."""

    def __init__(self, keep=False):
        self.workdir = tempfile.mkdtemp(prefix="corvolt-e2e-")
        self.keep = keep
        self.procs = Processes(self.workdir)
        self.runtime_dir = os.path.join(self.workdir, "runtime")
        os.mkdir(self.runtime_dir, 0o700)

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc, tb):
        self.procs.stop_all()
        if exc_type is not None and exc_type is not Skip:
            self.print_logs()
        if self.keep or (exc_type is not None and exc_type is not Skip):
            log("kept %s" % self.workdir)
        else:
            shutil.rmtree(self.workdir, ignore_errors=True)
        return False

    def print_logs(self):
        for name in sorted(os.listdir(self.workdir)):
            path = os.path.join(self.workdir, name)
            if os.path.isfile(path) and name.endswith((".log", ".err", ".txt")):
                with open(path, "rb") as f:
                    data = f.read()[-3000:].decode("utf-8", "replace")
                if data.strip():
                    print("----- %s (end) -----\n%s" % (name, data), flush=True)
