#!/usr/bin/python3
"""End-to-end cases of the Windows edition under Wine: corvolt.exe in a throwaway prefix
whose COM1 to COM4 are test ptys (the UPS simulator on one of them), on Xvfb with openbox
and trayer, read from outside by corvolt_inspect.exe, driven with xdotool.

    run_wine_e2e.py --exe corvolt.exe --inspector corvolt_inspect.exe [--template DIR] CASE
    run_wine_e2e.py --make-template DIR
    run_wine_e2e.py --list

--make-template makes a prefix once that every case then copies (half a second instead
of the five of a new prefix). The final_alarm case runs itself in a private PID namespace
(unshare --pid --fork --mount-proc; root), where a shutdown could only end that namespace.
Exit status 77 when the machine cannot run a case, or 1 when CI=true.
"""

import argparse
import os
import subprocess
import sys
import time

import wine_harness as wh

VOLTAGE = "Voltaje de línea : 120. Volts"
FREQUENCY = "Frecuencia : 60.Hz."
UPTIME_PREFIX = " Sesión en Windows : "
TITLE = "Atención"
LOST_LINK_TEXT = "Se ha perdido la comunicación con el equipo\r\nVerifique las conexiones"
NO_LINK_STATUS = "No se pudo establecer comunicación"
NO_LINK_TEXT = "No se pudo establecer comunicación con el equipo\r\nVerifique las conexiones."
SECOND_INSTANCE_TEXT = "Corvolt ya esta en ejecución"
APP_TITLE = "Orvane Corvolt"
# 120 V, 60 Hz, battery byte 212: the bar at 83 %.
UPS = ("--volts-code", "11926", "--battery", "212", "--period", "16667")
BATTERY_PERCENT = "83"


class Setup:
    """The desktop, the UPS simulator (silent until told) on COM<ups_port> and silent ptys
    on the other ports (all silent with ups_port None), and a prefix for corvolt.exe."""

    def __init__(self, procs, workdir, args, ups_port=1):
        self.exe = args.exe
        self.desktop = wh.WineDesktop(procs)
        self.desktop.start()
        self.sim = wh.Simulator(procs, workdir, "--silent", *UPS) if ups_port else None
        self.spares = [wh.SparePort() for _ in range(wh.COM_PORTS - (1 if ups_port else 0))]
        ports = [s.path for s in self.spares]
        if ups_port:
            ports.insert(ups_port - 1, self.sim.pty)
        self.prefix = wh.WinePrefix(procs, workdir, ports)
        try:
            self.prefix.create(args.template)
        except BaseException:
            self.close()  # the prefix's server outlives the test's processes
            raise
        self.inspector = wh.Inspector(self.prefix, args.inspector)
        self.monitor = None

    def start(self, name="corvolt"):
        proc = self.prefix.start(name, self.exe)
        proc.started = time.monotonic()
        if self.monitor is None:
            self.monitor = proc
        return proc

    def close(self):
        self.prefix.shutdown()
        for spare in self.spares:
            spare.close()

    def read(self, predicate, timeout, what, window=None):
        return self.inspector.wait_for(predicate, timeout, what, window)

    def link_up(self, port=1, since=None):
        """Waits for " Buscando en COM1" up to COM<port> in this order while the UPS is
        silent, lets the UPS speak once its port is open (after `since`, by default the
        start), and waits for the readings and the uptime. Returns (time of the first
        frame, the reading)."""
        seen = []

        def searching(reading):
            status = reading.get("StatusBar1", (False, ""))[1]
            if status.startswith(" Buscando en COM") and status not in seen:
                seen.append(status)
            return status == " Buscando en COM%d" % port
        self.read(searching, 4 + 1.5 * port, "the search on COM%d" % port)
        assert seen == [" Buscando en COM%d" % n for n in range(1, port + 1)], seen
        self.sim.wait_event("opened", after=since or self.monitor.started, timeout=3)
        # A frame at once, while the port is still open; should the search have moved on
        # meanwhile, the frames reach the port when the next sweep opens it again.
        resumed = time.monotonic()
        self.sim.send("resume", "once")
        first_frame = self.sim.wait_event("frame", after=resumed, timeout=3 + 5)
        reading = self.read(lambda r: has_readings(r) and r["StatusBar1"][1].startswith(
            UPTIME_PREFIX), 5, "the readings")
        wh.log("linked on COM%d %.2f s after the first frame" % (port, time.monotonic() -
                                                                  first_frame))
        return first_frame, reading

    def wait_tray(self, since, what):
        """Waits for the window hidden and minimised; returns the seconds since `since`."""
        self.read(in_tray, 8, "the window in the tray (%s)" % what)
        delay = time.monotonic() - since
        wh.log("the window went to the tray %.2f s after %s" % (delay, what))
        return delay

    def wait_end(self, proc, timeout=10):
        wh.wait_until(lambda: proc.poll() is not None, timeout, "%s to end" % proc.name)
        return proc.returncode

    def screenshot(self, directory, name):
        """The whole screen as an X window dump."""
        if directory:
            os.makedirs(directory, exist_ok=True)
            path = os.path.join(directory, name + ".xwd")
            subprocess.run(["xwd", "-root", "-silent", "-out", path], timeout=10, check=False)
            wh.log("screenshot %s" % path)


def has_readings(reading):
    """The line voltage and the battery of the frame are shown. Wine may let the inspector
    read the window between the two, so both are waited for."""
    return (reading.get("Label_VL", (False, ""))[1] == VOLTAGE and
            reading.get("ProgressBar1", (False, ""))[1] == BATTERY_PERCENT)


def in_tray(reading):
    return reading.get("WindowState") == (False, "1")


def shown_in_front(reading):
    """Shown, in the normal state, and the foreground window."""
    return (reading.get("WindowState") == (True, "0") and
            reading.get("Foreground", (False,))[0])


def assert_readings(reading):
    """The window shows the readings of the simulated UPS (UPS above)."""
    expected = {"Label_VL": (True, VOLTAGE), "Label_Fcia": (True, FREQUENCY),
                "Label_Status": (True, "Regulando línea normal"),
                "ProgressBar1": (True, BATTERY_PERCENT), "BoxInfo": (True, "")}
    actual = {name: (reading[name][0], reading[name][1] if name != "BoxInfo" else "")
              for name in expected}
    assert actual == expected, actual
    assert reading["Img_Vl1"][0] and not reading["Img_vl2"][0], "lamps"
    assert not reading["BoxAlarm"][0], "the alarm panel is shown"
    assert reading["StatusBar1"][1].startswith(UPTIME_PREFIX), reading["StatusBar1"]


def the_box(reading, text):
    """The one open message box with that text, or None."""
    boxes = [b for b in reading.boxes if b.text == text]
    assert len(boxes) <= 1, "boxes stacked: %r" % reading.boxes
    return boxes[0] if boxes else None


def answer_box(s, box, key, window=None):
    """Presses the key once the box is the foreground window, where keys go."""
    s.read(lambda r: r.get("Foreground", (False, ""))[1] == box.title, 5,
           "the box %r in front" % box.title, window)
    subprocess.run(["xdotool", "key", key], check=True, timeout=5)


def ends_and_closes_port(s, how, *xdotool_args):
    """Makes Corvolt's window active (keys go to the active window), gives input, then
    corvolt.exe ends with status 0 and its port was closed."""
    subprocess.run(["xdotool", "search", "--name", "^%s$" % wh.WINDOW_TITLE, "windowactivate"],
                   check=True, timeout=5)
    s.read(shown_in_front, 5, "the window active")
    asked = time.monotonic()
    subprocess.run(["xdotool", *xdotool_args], check=True, timeout=5)
    status = s.wait_end(s.monitor)
    assert status == 0, "corvolt.exe ended with %d" % status
    s.sim.wait_event("closed", after=asked, timeout=3)
    s.prefix.check_ports()
    wh.log("%s ended corvolt.exe (%.2f s) and closed the port" % (how, time.monotonic() - asked))


def case_link_com1(s, args):
    """The UPS on COM1: " Buscando en COM1", then the readings; the window's close command
    (Alt+F4 through openbox) ends the program and closes the port."""
    s.start()
    _, reading = s.link_up(1)
    assert_readings(reading)
    assert reading["WindowState"] == (True, "0"), reading["WindowState"]
    ends_and_closes_port(s, "the window's close command", "key", "alt+F4")


def case_link_com3(s, args):
    """The UPS on COM3, COM1 and COM2 silent: " Buscando en COM1" to " Buscando en COM3" in
    turn, then the readings; Finalizar (Alt+F) ends the program and closes the port."""
    s.start()
    _, reading = s.link_up(3)
    assert_readings(reading)
    ends_and_closes_port(s, "Finalizar", "key", "alt+f")


def case_tray(s, args):
    """4 s after the first frame the window hides into the tray; a left click on the tray
    icon brings it back, normal and in front."""
    s.start()
    first_frame, _ = s.link_up(1)
    delay = s.wait_tray(first_frame, "the first frame")
    assert 3.5 <= delay <= 5.5, "into the tray %.2f s after the first frame" % delay
    wh.X11().click(wh.wait_until(s.desktop.tray_icon, 5, "the tray icon"))
    reading = s.read(shown_in_front, 5, "the window back from the tray, in front")
    assert_readings(reading)


def case_alarm(s, args):
    """Alarm "1" with the window in the tray and another window focused: the window comes
    out normal and in front with the alarm panel; "0": the readings again, and 4 s later
    the window is back in the tray."""
    s.start()
    first_frame, _ = s.link_up(1)
    s.wait_tray(first_frame, "the first frame")
    s.prefix.start("notepad", "notepad")
    s.read(lambda r: "Notepad" in r.get("Foreground", (False, ""))[1], 10,
           "Notepad focused")

    s.sim.send("alarm 1")
    reading = s.read(lambda r: shown_in_front(r) and r["BoxAlarm"][0], 5,
                     "the window out of the tray, in front, with the alarm panel")
    assert not reading["BoxInfo"][0], "the readings panel is shown during the alarm"
    assert reading["Label_WM"] == (True, "Falla de línea  funcionamiento con baterias"), \
        reading["Label_WM"]
    assert not reading["Label_Save"][0] and not reading["Label_Shut"][0], reading
    assert s.desktop.active_window_name() == wh.WINDOW_TITLE, s.desktop.active_window_name()
    s.screenshot(args.screenshots, "wine-alarm")

    s.sim.send("alarm 0")
    reading = s.read(lambda r: r["BoxInfo"][0] and not r["BoxAlarm"][0], 5, "the readings back")
    cleared = time.monotonic()
    assert_readings(reading)
    delay = s.wait_tray(cleared, "the alarm cleared")
    assert 3.0 <= delay <= 5.5, "into the tray %.2f s after the alarm cleared" % delay


def case_watchdog(s, args):
    """The UPS falls silent: "Se ha perdido la comunicación con el equipo" about 7 s after
    the last frame; Retry searches again from COM1 and links."""
    s.start()
    s.link_up(1)
    s.sim.send("silent")
    reading = s.read(lambda r: the_box(r, LOST_LINK_TEXT), 10, "the lost-link box")
    last_frame = s.sim.last("frame")[0]
    delay = time.monotonic() - last_frame
    wh.log("lost-link box %.2f s after the last frame" % delay)
    assert 6.5 <= delay <= 8.5, "the lost-link box %.2f s after the last frame" % delay
    box = the_box(reading, LOST_LINK_TEXT)
    assert box.title == TITLE and set(box.buttons) == {wh.IDRETRY, wh.IDCANCEL}, box
    assert box.default == wh.IDRETRY, box

    # Enter answers a box with its default button, Escape with Cancel.
    retried = time.monotonic()
    answer_box(s, box, "Return")
    s.read(lambda r: not r.boxes, 3, "the box answered")
    s.sim.wait_event("closed", after=retried, timeout=3)
    _, reading = s.link_up(1, since=retried)
    assert_readings(reading)


def case_no_ups(s, args):
    """No UPS on COM1 to COM4: after four sweeps (20 s) "No se pudo establecer
    comunicación" on the status bar and in a box; Cancel ends the program."""
    monitor = s.start()
    reading = s.read(lambda r: the_box(r, NO_LINK_TEXT), 26, "the no-link box")
    delay = time.monotonic() - monitor.started
    wh.log("no-link box %.2f s after the start" % delay)
    assert 19 <= delay <= 24, "the no-link box %.2f s after the start" % delay
    # One reading reads the controls before the boxes: the one that first saw the box may
    # have read the status bar just before the text that precedes the box. The next one
    # starts after the box was open.
    reading = s.read(lambda r: True, 3, "the window with the no-link box open")
    assert reading["StatusBar1"][1] == NO_LINK_STATUS, reading["StatusBar1"]
    box = the_box(reading, NO_LINK_TEXT)
    assert box.title == TITLE and set(box.buttons) == {wh.IDRETRY, wh.IDCANCEL}, box
    assert box.default == wh.IDRETRY, box
    answer_box(s, box, "Escape")
    status = s.wait_end(monitor)
    assert status == 0, "corvolt.exe ended with %d" % status


def case_second_instance(s, args):
    """A second corvolt.exe says "Corvolt ya esta en ejecución" and ends after OK; the first
    keeps running and showing frames."""
    first = s.start()
    _, reading = s.link_up(1)
    window = reading["hWnd"][1]
    second = s.start("corvolt-second")
    reading = s.read(lambda r: the_box(r, SECOND_INSTANCE_TEXT), 10,
                     "the second instance's box", window)
    box = the_box(reading, SECOND_INSTANCE_TEXT)
    assert box.title == APP_TITLE and set(box.buttons) == {wh.IDOK}, box
    assert box.owner != window, "the box belongs to the first instance"
    answer_box(s, box, "Return", window)
    status = s.wait_end(second)
    assert status == 0, "the second corvolt.exe ended with %d" % status
    assert first.poll() is None, "the first corvolt.exe ended"
    s.sim.wait_event("frame", after=time.monotonic(), timeout=3)
    assert_readings(s.read(lambda r: not r.boxes, 3, "the first window without a box", window))
    assert not [e for e in s.sim.events("closed") if e[0] > second.started], \
        "the first instance's port was closed"


def case_final_alarm(s, args):
    """In a private PID namespace: on the second final-alarm frame corvolt.exe asks Wine
    for the shutdown (wineboot --kill --shutdown, which ends the prefix's programs and
    nothing else) and ends."""
    assert os.getpid() == 1, "not in a private PID namespace"
    s.start()
    s.link_up(1)
    s.sim.send("alarm 2")
    first_alarm = s.sim.wait_event("frame", after=time.monotonic(), timeout=3)
    s.wait_end(s.monitor, 10)
    ended = time.monotonic()
    alarms = [t for t, _, details in s.sim.events("frame") if details.endswith("alarm=0x32")]
    wh.log("corvolt.exe ended %.2f s after the first final-alarm frame (%d sent)"
           % (ended - first_alarm, len(alarms)))
    assert len(alarms) >= 2 and ended >= alarms[1], \
        "ended before the second final-alarm frame: %r, ended %.3f" % (alarms, ended)
    with open(os.path.join(os.path.dirname(s.prefix.path), "corvolt.log"),
              errors="replace") as f:
        trace = f.read()
    assert "wineboot.exe --kill --shutdown" in trace, "no shutdown asked of Wine"


CASES = {
    "link_com1": case_link_com1,
    "link_com3": case_link_com3,
    "tray": case_tray,
    "alarm": case_alarm,
    "watchdog": case_watchdog,
    "no_ups": case_no_ups,
    "second_instance": case_second_instance,
    "final_alarm": case_final_alarm,
}
UPS_PORT = {"link_com3": 3, "no_ups": None}
# Run as the first process of a private PID namespace, where a shutdown of the machine could
# only end that namespace.
IN_PID_NAMESPACE = {"final_alarm"}


def run_case(name, args, workdir):
    procs = wh.Processes(workdir)
    setup = None
    try:
        setup = Setup(procs, workdir, args, UPS_PORT.get(name, 1))
        if name == "final_alarm":
            # Wine's trace of the processes a program starts shows the shutdown it asks for.
            setup.prefix.env["WINEDEBUG"] = "-all,+process"
        CASES[name](setup, args)
    except Exception:
        if setup:
            setup.screenshot(args.screenshots, "wine-%s-failed" % name)
        raise
    finally:
        if setup:
            setup.close()
        procs.stop_all()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe")
    parser.add_argument("--inspector")
    parser.add_argument("--template", help="a directory made by --make-template")
    parser.add_argument("--make-template", metavar="DIR")
    parser.add_argument("--screenshots", help="directory for screenshots")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    parser.add_argument("--list", action="store_true", help="list the cases")
    parser.add_argument("case", nargs="?")
    args = parser.parse_args()
    if args.list:
        for name, fn in CASES.items():
            print("%-16s %s" % (name, fn.__doc__.split("\n")[0]))
        return 0
    try:
        wh.check_prerequisites(*([] if args.make_template else [args.exe, args.inspector]))
        if args.make_template:
            wh.make_template(os.path.abspath(args.make_template))
            return 0
        if args.case not in CASES:
            parser.error("unknown case %r; see --list" % args.case)
        if args.case in IN_PID_NAMESPACE and os.getpid() != 1:
            if os.geteuid() != 0:
                raise wh.Skip("the case %s needs root for a private PID namespace" % args.case)
            return subprocess.call(["unshare", "--pid", "--fork", "--mount-proc",
                                    sys.executable, os.path.abspath(__file__), *sys.argv[1:]])
        if args.template and not os.path.isdir(args.template):
            args.template = None  # made afresh
        started = time.monotonic()
        with wh.work_directory(args.keep) as workdir:
            run_case(args.case, args, workdir)
    except wh.Skip as e:
        return wh.skipped(str(e))
    print("wine %s: ok in %.1f s" % (args.case, time.monotonic() - started), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
