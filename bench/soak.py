#!/usr/bin/python3
"""Soak run of the corvolt binary: hours of 1 Hz frames with the alarm cycling, watching
for growth of memory, open files or CPU time. It checks nothing and is not a test.

    /usr/bin/python3 bench/soak.py --binary build/corvolt --minutes 30 [--alarm-every 30]

The monitor runs as in the end-to-end tests (tests/e2e/harness.py): a private mount
namespace puts the pty of tools/ups_sim.py over /dev/ttyS0, on Xvfb with trayer as the
notification area and a fake logind on a private system bus. The simulator sends one
frame a second; every --alarm-every seconds the alarm character switches between "0" and
"1" (never "2"), so the window comes out of the tray for each mains failure and goes back
4 s after it clears; before each switch the window's state is checked against that.

Every --sample seconds (default 60) one line: Pss and anonymous memory
(/proc/PID/smaps_rollup; Pss also moves when other programs map the same libraries, the
anonymous memory is the monitor's own heap and stacks), open file descriptors (/proc/PID/fd), threads, and the CPU share of one core over the interval
(/proc/PID/task/*/schedstat). At the end a summary: first and last values, and the
growth per hour as the least-squares slope of the samples taken after --warm-up seconds.
Any message box that the monitor opens, any call to the fake logind but the power-off
check (CanPowerOff), or the monitor's end
is reported at once (the run stops when the monitor has ended). Needs root.
"""

import argparse
import os
import signal
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness  # noqa: E402
from harness import cpu_ns, log, anonymous_kb, pss_kb  # noqa: E402


def count_entries(path):
    try:
        return len(os.listdir(path))
    except OSError:
        return None


def slope_per_hour(times, values):
    """Least-squares slope of values over times (seconds), per hour; None for < 2 points."""
    if len(times) < 2:
        return None
    mt, mv = statistics.mean(times), statistics.mean(values)
    var = sum((t - mt) ** 2 for t in times)
    if var == 0:
        return None
    return 3600.0 * sum((t - mt) * (v - mv) for t, v in zip(times, values)) / var


class Soak:
    def __init__(self, session, binary, accessibility):
        self.desktop = harness.Desktop(session.procs, session.workdir, tray=True)
        self.desktop.start()
        self.logind = harness.FakeLogind(session.procs, session.workdir, can_power_off="yes")
        self.sim = harness.Simulator(session.procs, session.workdir, "--rate", "1")
        env = self.desktop.app_env(session.runtime_dir, self.logind.bus)
        if not accessibility:
            env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.mon = harness.Monitor(session.procs, binary, self.sim.pty, env)
        self.x11 = harness.X11()
        self.switch_checks = []  # window state as expected before each alarm switch
        # (seconds since the link came up, Pss kB, anonymous kB, fds, threads, CPU %)
        self.samples = []

    def other_windows(self):
        """Names of mapped top-level windows of the monitor besides its main window."""
        return [self.x11.name(w) for w in self.x11.toplevels()
                if self.x11.pid(w) == self.mon.pid and self.x11.mapped(w)
                and self.x11.name(w) not in (harness.WINDOW_TITLE, None, "")]

    def run(self, seconds, sample_every, alarm_every):
        pid = self.mon.pid
        t_link = self.sim.wait_event("frame", timeout=10)
        log("corvolt pid %d linked; soak for %.0f s, alarm switching every %.0f s"
            % (pid, seconds, alarm_every))
        print("%8s %9s %9s %5s %7s %9s %6s %s" % ("minutes", "Pss MB", "anon MB", "fds",
                                                  "threads", "CPU %", "alarm", "frames"),
              flush=True)
        alarm, next_switch = "0", time.monotonic() + alarm_every
        ns0, t0 = cpu_ns(pid), time.monotonic_ns()
        next_sample = time.monotonic() + sample_every
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            time.sleep(max(0.0, min(next_switch, next_sample, end) - time.monotonic()))
            if not self.mon.running():
                raise RuntimeError("corvolt ended (code %s) during the soak"
                                   % self.mon.proc.returncode)
            now = time.monotonic()
            if now >= next_switch:
                # Before each switch the window should be out for a lasting "1" and back in
                # the tray for a lasting "0".
                win = self.x11.main_window(pid)
                self.switch_checks.append((win is not None and self.x11.mapped(win)) == (alarm == "1"))
                alarm = "1" if alarm == "0" else "0"
                self.sim.send("alarm " + alarm)
                next_switch += alarm_every
            if now >= next_sample:
                ns1, t1 = cpu_ns(pid), time.monotonic_ns()
                sample = (now - t_link, pss_kb(pid), anonymous_kb(pid),
                          count_entries("/proc/%d/fd" % pid),
                          count_entries("/proc/%d/task" % pid), 100.0 * (ns1 - ns0) / (t1 - t0))
                ns0, t0 = ns1, t1
                self.samples.append(sample)
                frames = len(self.sim.events("frame"))
                print("%8.1f %9.2f %9.2f %5d %7d %9.4f %6s %d"
                      % (sample[0] / 60, sample[1] / 1024, sample[2] / 1024, sample[3],
                         sample[4], sample[5], alarm, frames), flush=True)
                # CanPowerOff is the power-off check at start and at link-up; anything
                # else would be a power-off request.
                boxes = self.other_windows()
                calls = [c for c in self.logind.calls() if c != "CanPowerOff"]
                if boxes or calls:
                    log("UNEXPECTED: windows %r, logind calls %r" % (boxes, calls))
                next_sample += sample_every

    def summary(self, warm_up):
        if not self.samples:
            print("no samples")
            return
        kept = [s for s in self.samples if s[0] >= warm_up] or self.samples
        times = [s[0] for s in kept]
        first, last = self.samples[0], self.samples[-1]
        print()
        print("summary: %d samples over %.1f min; growth fitted from minute %.1f on (%d samples)"
              % (len(self.samples), last[0] / 60, kept[0][0] / 60, len(kept)))
        for label, index, scale, unit in (("Pss", 1, 1 / 1024, "MB"),
                                          ("anonymous", 2, 1 / 1024, "MB"),
                                          ("open fds", 3, 1, ""), ("threads", 4, 1, "")):
            values = [s[index] * scale for s in kept]
            growth = slope_per_hour(times, values)
            print("  %-10s first %9.2f  last %9.2f  min %9.2f  max %9.2f  growth %s %s/h"
                  % (label, first[index] * scale, last[index] * scale, min(values), max(values),
                     "n/a" if growth is None else "%+.3f" % growth, unit))
        cpu = [s[5] for s in kept]
        growth = slope_per_hour(times, cpu)
        print("  %-10s mean %.4f %%  median %.4f %%  max %.4f %% of a core; trend %s %%/h"
              % ("CPU", statistics.mean(cpu), statistics.median(cpu), max(cpu),
                 "n/a" if growth is None else "%+.4f" % growth))
        print("  frames sent %d; window shown for \"1\" and in the tray for \"0\" before %d of %d "
              "alarm switches; logind calls %r; other windows now %r"
              % (len(self.sim.events("frame")), sum(self.switch_checks), len(self.switch_checks),
                 self.logind.calls(), self.other_windows()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__[__doc__.index("The monitor"):])
    parser.add_argument("--binary", required=True, help="the corvolt executable")
    parser.add_argument("--minutes", type=float, default=30.0, help="length of the soak (30)")
    parser.add_argument("--sample", type=float, default=60.0, help="seconds between samples (60)")
    parser.add_argument("--alarm-every", type=float, default=30.0,
                        help="seconds between alarm switches 0 <-> 1 (30)")
    parser.add_argument("--warm-up", type=float, default=300.0,
                        help="seconds of samples left out of the growth fit (300)")
    parser.add_argument("--accessibility", action="store_true",
                        help="run the monitor with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    # Ended from outside (SIGTERM, SIGINT), it still prints its summary and stops everything
    # it started.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        harness.check_prerequisites(binary)
    except harness.Skip as e:
        print("soak: %s" % e, file=sys.stderr)
        return 1
    with harness.Session(keep=args.keep) as session:
        soak = Soak(session, binary, args.accessibility)
        try:
            soak.run(args.minutes * 60, args.sample, args.alarm_every)
        except KeyboardInterrupt:
            log("stopped before the end")
        finally:
            soak.summary(args.warm_up)
    return 0


if __name__ == "__main__":
    sys.exit(main())
