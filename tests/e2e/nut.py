"""NUT's own clients from Debian (package nut-client) against the monitor's NUT server:
the server's configuration file, upsc, and upsmon as a secondary in the foreground with a
configuration folder of its own. Loopback only; every wait is bounded.
"""

import contextlib
import os
import socket
import subprocess
import time

from harness import log, wait_until

UPSC = "/usr/bin/upsc"
# The binary itself: /usr/sbin/upsmon is a wrapper that refuses to start unless
# /etc/nut/nut.conf enables it.
UPSMON = "/lib/nut/upsmon"
USER, PASSWORD = "monuser", "s3cret"
CONFIG_HOOK = "CORVOLT_TEST_NUT_SERVER_CONF"
# The longest the monitor's power-off waits for its secondaries, in seconds.
SECONDARIES_WAIT = 15

# When each notification and the shutdown command ran, as wall-clock seconds with
# nanoseconds (a shell has no monotonic clock; wall_to_monotonic converts).
NOTIFY_SCRIPT = '#!/bin/sh\necho "$(date +%s.%N) $NOTIFYTYPE" >> "$0.log"\n'
SHUTDOWN_SCRIPT = '#!/bin/sh\necho "$(date +%s.%N) SHUTDOWNCMD" >> "$0.log"\n'
NOTIFY_TYPES = ("ONLINE", "ONBATT", "LOWBATT", "FSD", "COMMOK", "COMMBAD", "SHUTDOWN",
                "NOCOMM", "NOPARENT")


def missing_clients():
    return [p for p in (UPSC, UPSMON) if not os.access(p, os.X_OK)]


def free_port():
    """A TCP port nobody listens on at 127.0.0.1 (the kernel's pick)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_server_config(workdir, text, mode=0o600):
    """The monitor's server configuration, owned by root (the tests run as root)."""
    path = os.path.join(workdir, "nut-server.conf")
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)
    return path


def server_config(port):
    return "listen = 127.0.0.1\nport = %d\nuser = %s\npassword = %s\n" % (port, USER, PASSWORD)


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def listening_sockets_of(pid):
    """Inodes of the TCP sockets in the listening state that pid holds."""
    listen = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            next(f)
            for line in f:
                fields = line.split()
                if fields[3] == "0A":
                    listen.add(fields[9])
    held = set()
    fd_dir = "/proc/%d/fd" % pid
    for fd in os.listdir(fd_dir):
        try:
            target = os.readlink(os.path.join(fd_dir, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            held.add(target[8:-1])
    return held & listen


@contextlib.contextmanager
def logged_in(port):
    """A secondary that logs in and stays until the block ends."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(("USERNAME %s\nPASSWORD %s\nLOGIN corvolt\n" % (USER, PASSWORD)).encode())
        replies = b""
        while replies.count(b"\n") < 3:
            chunk = s.recv(256)
            assert chunk, "the server closed the connection: %r" % replies
            replies += chunk
        assert replies == b"OK\nOK\nOK\n", replies
        yield


def upsc(port, variable=None, clients=False):
    """Runs upsc against the monitor: all variables, one, or (clients) the logged-in
    secondaries; returns (exit code, stdout, stderr)."""
    ups = "corvolt@127.0.0.1:%d" % port
    argv = [UPSC, "-c", ups] if clients else [UPSC, ups] + ([variable] if variable else [])
    result = subprocess.run(argv, capture_output=True, text=True, timeout=10)
    return result.returncode, result.stdout, result.stderr


def upsc_vars(port):
    code, out, err = upsc(port)
    assert code == 0, "upsc failed (%d): %s" % (code, err)
    return dict(line.split(": ", 1) for line in out.splitlines() if ": " in line)


def wall_to_monotonic(t_wall):
    return t_wall - (time.time() - time.monotonic())


class Secondary:
    """upsmon in the foreground as a NUT secondary of the monitor, with its own folder:
    POLLFREQ 1, POLLFREQALERT 1, FINALDELAY 0 (or NUT's defaults: 5, 5, 5), every
    notification and the shutdown command logged."""

    def __init__(self, procs, workdir, port, nut_defaults=False):
        self.dir = os.path.join(workdir, "upsmon")
        os.mkdir(self.dir, 0o700)
        self.notify = os.path.join(self.dir, "notify.sh")
        self.shutdown = os.path.join(self.dir, "shutdown.sh")
        for path, text in ((self.notify, NOTIFY_SCRIPT), (self.shutdown, SHUTDOWN_SCRIPT)):
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o700)
        lines = [
            "MONITOR corvolt@127.0.0.1:%d 1 %s %s secondary" % (port, USER, PASSWORD),
            "MINSUPPLIES 1",
            'SHUTDOWNCMD "%s"' % self.shutdown,
            'NOTIFYCMD "%s"' % self.notify,
        ] + ([] if nut_defaults else ["POLLFREQ 1", "POLLFREQALERT 1", "FINALDELAY 0"]) + [
            "DEADTIME 15",
            "NOCOMMWARNTIME 2",
            "POWERDOWNFLAG %s/killpower" % self.dir,
        ] + ["NOTIFYFLAG %s SYSLOG+EXEC" % t for t in NOTIFY_TYPES]
        with open(os.path.join(self.dir, "upsmon.conf"), "w") as f:
            f.write("\n".join(lines) + "\n")
        os.chmod(os.path.join(self.dir, "upsmon.conf"), 0o600)
        env = dict(os.environ, NUT_CONFPATH=self.dir, NUT_STATEPATH=self.dir,
                   NUT_ALTPIDPATH=self.dir)
        # -p: one privileged process, which runs the shutdown command itself.
        self.proc = procs.start("upsmon", [UPSMON, "-F", "-p"], env=env)
        log("upsmon pid %d, secondary of 127.0.0.1:%d" % (self.proc.pid, port))

    def events(self, script=None):
        """[(monotonic time, kind)] of the notifications and the shutdown command."""
        result = []
        for path in ([script] if script else [self.notify, self.shutdown]):
            try:
                with open(path + ".log") as f:
                    for line in f:
                        t, _, kind = line.strip().partition(" ")
                        result.append((wall_to_monotonic(float(t)), kind))
            except FileNotFoundError:
                pass
        return sorted(result)

    def wait_event(self, kind, after=0.0, timeout=10.0):
        def found():
            return next((t for t, k in self.events() if k == kind and t > after), None)
        t = wait_until(found, timeout, "upsmon's %s" % kind)
        log("upsmon: %s %.2f s after the mark" % (kind, t - after))
        return t

    def kinds(self, after=0.0):
        return [k for t, k in self.events() if t > after]

