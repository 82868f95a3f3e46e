#!/usr/bin/python3
"""Measures the corvolt binary on a headless desktop and prints the figures beside their
targets. It checks nothing and is not part of the test run.

    /usr/bin/python3 bench/measure_binary.py --binary build/corvolt [-n 5] [--quick]

Figures, each as min / median / max:
  a) start to window: the exec of corvolt to the MapNotify of its top-level window;
  b) alarm latency: the last byte of a "1" frame to the MapNotify of the window coming
     out of the tray (trayer runs as the notification area);
  c) final alarm latency: the last byte of a "2" frame to the fake logind receiving
     PowerOff;
  d) memory: Pss (/proc/PID/smaps_rollup) with the link up and the window in the tray,
     from 30 s of 1 Hz frames on;
  e) CPU: time on a CPU of all the monitor's threads (/proc/PID/task/*/schedstat) over
     60 s of 1 Hz frames, in percent of one core; window in the tray, then shown.
a to c come from N short runs of the monitor, each ended by an accepted power-off; d and
e from one long run whose measuring time is cut into N equal slices (Pss is read at the
end of every slice in the tray).

The desktop (Xvfb, session bus, trayer), the fake logind and the private mount namespace
that puts a pty over /dev/ttyS0 are those of the end-to-end tests (tests/e2e/harness.py).
The frames are written by this process itself with the encoder of tools/ups_sim.py, so
the moment the write of a frame's last byte returns is known; the same thread reads the
X server's events on a connection of its own and stamps them when select() wakes up.
All times are CLOCK_MONOTONIC, shared by every process (time.monotonic()). The shell
that sets up the namespace waits on a FIFO before it execs corvolt, so that the time of
the exec is known too.

Every latency includes the scheduling of this process and of Xvfb or the fake logind:
on a busy machine the figures are upper bounds. The monitor runs with accessibility off,
as on a desktop without a screen reader; --accessibility turns it on as in the
end-to-end tests. Needs root, like the end-to-end tests.
"""

import argparse
import errno
import os
import select
import shlex
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
sys.path.insert(0, os.path.join(REPO, "tools"))
import harness  # noqa: E402
import ups_sim  # noqa: E402
from harness import log  # noqa: E402

FRAME_PERIOD = 1.0


class UpsLine:
    """The UPS end of the serial line: frames of 120 V, 60 Hz and 83 % battery, written
    once a second on a pty of tools/ups_sim.py (bytes nobody reads are dropped, as on a
    real UART). Remembers when each write returned."""

    def __init__(self):
        self.line = ups_sim.Line()
        values = argparse.Namespace(volts_code=11926, battery=212, period=16667,
                                    regulation=ord("0"), alarm=ord("0"), rate=1.0, silent=False)
        self.encoder = ups_sim.Simulator(values, self.line, None)
        self.path = self.line.path
        self.next_due = None  # None: the line is silent
        self.written = []  # (time the write of the last byte returned, alarm character)

    def start(self):
        self.next_due = time.monotonic()

    def stop(self):
        self.next_due = None

    def set_alarm(self, char):
        self.encoder.alarm = ord(char)

    def tick(self, now):
        if self.next_due is None or now < self.next_due:
            return
        self.next_due += FRAME_PERIOD
        if self.next_due <= now:
            self.next_due = now + FRAME_PERIOD
        self.line.drain()
        frame = self.encoder.frame()
        if self.line.write(frame) is None:
            self.written.append((time.monotonic(), chr(frame[9])))

    def first_write(self, after, alarm=None):
        for t, char in self.written:
            if t > after and (alarm is None or char == alarm):
                return t
        return None

    def close(self):
        self.line.close()


class WindowEvents:
    """Map, unmap and configure events of the top-level windows, read on an X connection
    of their own; each batch is stamped with the time select() found it waiting."""

    def __init__(self, x11):
        from Xlib import X, display
        self.kinds = {X.MapNotify: "map", X.UnmapNotify: "unmap", X.ConfigureNotify: "configure"}
        self.destroy = X.DestroyNotify
        self.dpy = display.Display(os.environ["DISPLAY"])
        self.dpy.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.dpy.sync()
        self.x11 = x11  # the connection that looks windows up
        self.log = []  # (time, kind, (name, pid) of the window)
        # Owner of each existing window, read when it was mapped. The ids of a client that
        # has ended are handed to the next one, so an entry goes when its window does.
        self.owners = {}

    def fileno(self):
        return self.dpy.fileno()

    def read(self, stamp):
        while self.dpy.pending_events():
            event = self.dpy.next_event()
            wid = event.window.id
            if event.type == self.destroy:
                self.owners.pop(wid, None)
                continue
            kind = self.kinds.get(event.type)
            if kind is None:
                continue
            if kind == "map":
                win = self.x11.dpy.create_resource_object("window", wid)
                self.owners[wid] = (self.x11.name(win), self.x11.pid(win))
            self.log.append((stamp, kind, self.owners.get(wid, (None, None))))

    def first(self, kind, pid, after, name=harness.WINDOW_TITLE):
        """Time of the first event of this kind after the given time on a window of pid
        named name (any name when None)."""
        for t, k, (owner_name, owner_pid) in self.log:
            if k == kind and t > after and owner_pid == pid and (name is None or owner_name == name):
                return t
        return None

    def others_mapped(self, pid, after):
        """Names of the windows of pid other than its main window mapped after a time:
        message boxes, which a steady link should never bring."""
        return [name for t, k, (name, owner_pid) in self.log
                if k == "map" and t > after and owner_pid == pid
                and name not in (harness.WINDOW_TITLE, None, "")]


class TimedMonitor(harness.Monitor):
    """The monitor in the end-to-end tests' namespace, held back by the shell before its
    exec until release(), which notes the time of the exec."""

    def __init__(self, procs, binary, pty, env, workdir, name):
        self.go = os.path.join(workdir, name + ".go")
        os.mkfifo(self.go, 0o600)
        tail = ' && exec "$@"'
        assert harness.Monitor.SCRIPT.endswith(tail)
        self.SCRIPT = harness.Monitor.SCRIPT[:-len(tail)] + (
            ' && read go < %s' % shlex.quote(self.go)) + tail
        super().__init__(procs, binary, pty, env, name=name)
        self.exec_time = None

    def release(self, timeout=10.0):
        deadline = time.monotonic() + timeout
        while True:
            try:
                fd = os.open(self.go, os.O_WRONLY | os.O_NONBLOCK)
                break
            except OSError as e:  # ENXIO: the shell has not reached the FIFO yet
                if e.errno != errno.ENXIO:
                    raise
                if not self.running() or time.monotonic() > deadline:
                    raise RuntimeError("the namespace for corvolt was not set up (see %s.log)"
                                       % self.proc.name)
                time.sleep(0.001)
        os.write(fd, b"\n")
        self.exec_time = time.monotonic()
        os.close(fd)


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


def pss_kb(pid):
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    raise RuntimeError("no Pss in /proc/%d/smaps_rollup" % pid)


class Bench:
    def __init__(self, session, binary, accessibility):
        self.session = session
        self.binary = binary
        self.desktop = harness.Desktop(session.procs, session.workdir, tray=True)
        self.desktop.start()
        self.logind = harness.FakeLogind(session.procs, session.workdir, can_power_off="yes")
        self.x11 = harness.X11()
        self.events = WindowEvents(self.x11)
        self.line = UpsLine()
        self.accessibility = accessibility
        self.runs = 0

    def close(self):
        self.line.close()

    def pump(self, until, done=None, poll=None):
        """Writes the frames when due and reads window events until done() is true
        (returns True) or the time until has come (returns False)."""
        while True:
            now = time.monotonic()
            self.line.tick(now)
            if done is not None and done():
                return True
            if now >= until:
                return False
            wait = min(until - now, 0.05)
            if self.line.next_due is not None:
                wait = min(wait, self.line.next_due - now)
            if poll is not None:
                wait = min(wait, poll)
            ready, _, _ = select.select([self.events], [], [], max(0.0, wait))
            if ready:
                self.events.read(time.monotonic())

    def wait_for(self, what, timeout, done, poll=None):
        start = time.monotonic()
        if not self.pump(start + timeout, done, poll):
            raise RuntimeError("timed out after %.0f s waiting for %s" % (timeout, what))
        return done()

    def start_monitor(self):
        """Starts corvolt, silent line; returns it once its window is mapped, with the
        time from exec to map."""
        self.runs += 1
        runtime = tempfile.mkdtemp(prefix="runtime-", dir=self.session.workdir)
        env = self.desktop.app_env(runtime, self.logind.bus)
        if not self.accessibility:
            env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.line.stop()
        self.line.set_alarm("0")
        mon = TimedMonitor(self.session.procs, self.binary, self.line.path, env,
                           self.session.workdir, "corvolt-%d" % self.runs)
        mon.release()
        t_map = self.wait_for("corvolt's window", 10,
                              lambda: self.events.first("map", mon.pid, mon.exec_time))
        return mon, t_map - mon.exec_time

    def link_and_tray(self, mon):
        """Frames from now on; returns the time of the first frame the monitor could read
        once its window has gone into the tray."""
        self.line.start()
        t_first = self.wait_for("the monitor to open COM1", 5,
                                lambda: self.line.first_write(mon.exec_time))
        self.wait_for("the window to go into the tray", 10,
                      lambda: self.events.first("unmap", mon.pid, t_first))
        return t_first

    def short_run(self):
        """(start to window, alarm 1 to map, alarm 2 to PowerOff) of one run."""
        mon, start = self.start_monitor()
        t_first = self.link_and_tray(mon)
        t_tray = self.events.first("unmap", mon.pid, t_first)

        self.line.set_alarm("1")
        t_alarm = self.wait_for("the '1' frame", 3, lambda: self.line.first_write(t_tray, "1"))
        t_raised = self.wait_for("the window raised for the alarm", 3,
                                 lambda: self.events.first("map", mon.pid, t_alarm))
        self.pump(time.monotonic() + 1.2)  # a further "1" frame; the window stays

        self.line.set_alarm("2")
        t_final = self.wait_for("the '2' frame", 3,
                                lambda: self.line.first_write(t_raised, "2"))

        def call_after(name):
            for t, call in self.logind.timed_calls():
                if t > t_final and call.split()[0] == name:
                    return t
            return None

        t_power_off = self.wait_for("PowerOff at the fake logind", 5,
                                    lambda: call_after("PowerOff"), poll=0.002)
        self.line.stop()
        code = mon.wait_exit(5)
        log("run %d: start %.1f ms; link %.2f s after exec, tray %.2f s after the first frame; "
            "'1' -> map %.1f ms; '2' -> CanPowerOff %.1f ms, PowerOff %.1f ms; exit code %d"
            % (self.runs, start * 1e3, t_first - mon.exec_time, t_tray - t_first,
               (t_raised - t_alarm) * 1e3, (call_after("CanPowerOff") - t_final) * 1e3,
               (t_power_off - t_final) * 1e3, code))
        return start, t_raised - t_alarm, t_power_off - t_final

    def cpu_slices(self, pid, seconds, count, pss=None):
        """CPU percent of one core in count equal slices of seconds; Pss at the end of
        each slice is appended to pss when given."""
        result = []
        for _ in range(count):
            ns0, t0 = cpu_ns(pid), time.monotonic_ns()
            self.pump(time.monotonic() + seconds / count)
            ns1, t1 = cpu_ns(pid), time.monotonic_ns()
            result.append(100.0 * (ns1 - ns0) / (t1 - t0))
            if pss is not None:
                pss.append(pss_kb(pid))
        return result

    def long_run(self, memory_after, cpu_seconds, slices):
        """(Pss samples in the tray in kB, CPU % slices in the tray, CPU % slices shown,
        Pss shown in kB)."""
        mon, _ = self.start_monitor()
        t_first = self.link_and_tray(mon)
        self.pump(t_first + memory_after)
        pss = [pss_kb(mon.pid)]
        log("long run: Pss %.1f MB after %.0f s linked, window in the tray; measuring CPU for %.0f s"
            % (pss[0] / 1024, memory_after, cpu_seconds))
        cpu_tray = self.cpu_slices(mon.pid, cpu_seconds, slices, pss)

        icons = harness.wait_until(lambda: self.x11.descendants_of_pid(self.desktop.panel, mon.pid),
                                   5, "corvolt's tray icon")
        t_click = time.monotonic()
        self.x11.click(icons[0])
        self.wait_for("the window restored by a click on its tray icon", 5,
                      lambda: self.events.first("map", mon.pid, t_click))
        self.pump(time.monotonic() + 2)  # let it draw and settle
        log("long run: window shown; measuring CPU for %.0f s" % cpu_seconds)
        cpu_shown = self.cpu_slices(mon.pid, cpu_seconds, slices)
        pss_shown = pss_kb(mon.pid)
        boxes = self.events.others_mapped(mon.pid, t_first)
        if boxes:
            raise RuntimeError("the monitor opened windows during the long run: %r" % boxes)
        self.line.stop()
        self.session.procs.stop(mon.proc)
        return pss, cpu_tray, cpu_shown, pss_shown


def row(label, values, unit, scale, fmt, target):
    values = [v * scale for v in values]
    lo, mid, hi = min(values), statistics.median(values), max(values)
    cells = " ".join(("%10" + fmt[1:]) % v for v in (lo, mid, hi))
    return "%-46s %3d %s  %-5s %s" % (label, len(values), cells, unit, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__[__doc__.index("Figures"):])
    parser.add_argument("--binary", required=True, help="the corvolt executable")
    parser.add_argument("-n", "--repetitions", type=int, default=5,
                        help="short runs for a-c, and slices for d-e (default 5)")
    parser.add_argument("--memory-after", type=float, default=30.0,
                        help="seconds linked before Pss is read (default 30)")
    parser.add_argument("--cpu-seconds", type=float, default=60.0,
                        help="seconds of CPU measurement in each window state (default 60)")
    parser.add_argument("--quick", action="store_true",
                        help="2 repetitions, Pss after 10 s, 10 s of CPU per state")
    parser.add_argument("--accessibility", action="store_true",
                        help="run the monitor with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    if args.quick:
        args.repetitions, args.memory_after, args.cpu_seconds = 2, 10.0, 10.0
    if args.repetitions < 1:
        parser.error("--repetitions must be at least 1")
    binary = os.path.abspath(args.binary)
    try:
        harness.check_prerequisites(binary)
    except harness.Skip as e:
        print("measure_binary: %s" % e, file=sys.stderr)
        return 1

    load_before = os.getloadavg()
    t0 = time.monotonic()
    with harness.Session(keep=args.keep) as session:
        bench = Bench(session, binary, args.accessibility)
        try:
            short = [bench.short_run() for _ in range(args.repetitions)]
            pss, cpu_tray, cpu_shown, pss_shown = bench.long_run(
                args.memory_after, args.cpu_seconds, args.repetitions)
        finally:
            bench.close()
    load_after = os.getloadavg()

    slice_s = args.cpu_seconds / args.repetitions
    print()
    print("corvolt %s, accessibility %s, %d cores, load average %.2f before / %.2f after, %.0f s"
          % (binary, "on" if args.accessibility else "off", os.cpu_count(), load_before[0],
             load_after[0], time.monotonic() - t0))
    print("%-46s %3s %10s %10s %10s  %-5s %s" % ("figure", "n", "min", "median", "max", "unit",
                                                 "target"))
    print(row("a) start to window (exec -> MapNotify)", [s[0] for s in short], "ms", 1e3, "%.1f",
              "< 250 ms"))
    print(row("b) alarm '1' last byte -> window mapped", [s[1] for s in short], "ms", 1e3, "%.2f",
              "< 30 ms"))
    print(row("c) alarm '2' last byte -> PowerOff", [s[2] for s in short], "ms", 1e3, "%.2f",
              "< 20 ms"))
    print(row("d) Pss in the tray, %.0f-%.0f s linked" % (args.memory_after, args.memory_after
                                                          + args.cpu_seconds),
              pss, "MB", 1 / 1024, "%.2f", "< 30 MB"))
    print(row("e) CPU, in the tray, %d x %.0f s" % (args.repetitions, slice_s), cpu_tray, "%",
              1, "%.4f", "< 0.05 %% (whole %.0f s: %.4f %%)" % (args.cpu_seconds,
                                                               statistics.mean(cpu_tray))))
    print(row("e) CPU, window shown, %d x %.0f s" % (args.repetitions, slice_s), cpu_shown, "%",
              1, "%.4f", "< 0.05 %% (whole %.0f s: %.4f %%)" % (args.cpu_seconds,
                                                               statistics.mean(cpu_shown))))
    print("   Pss with the window shown, at the end: %.2f MB" % (pss_shown / 1024))
    return 0


if __name__ == "__main__":
    sys.exit(main())
