"""End-to-end cases on real desktops: the first raise out of the tray after a fresh start
under X11 window managers, and the alarm bringing the window back under Wayland
compositors. The window's state is read from the window manager or the compositor, never
from the monitor's own view of itself.
"""

import os
import time

import harness
from harness import log

# Fresh starts per case; each one goes into the tray and out again once.
FRESH_STARTS = 6
# How long the raised window must stay as it is.
HOLD_SECONDS = 2.0


def raised_over(c, competitor):
    """What is wrong with the monitor's window as the window manager shows it: it must be
    viewable, in the ICCCM Normal state and stacked above the competing window."""
    win = c.x11.main_window(c.mon.pid)
    if win is None:
        return "no window"
    problems = []
    if not c.x11.mapped(win):
        problems.append("not viewable")
    state = c.x11.wm_state(win)
    if state != 1:
        problems.append("WM_STATE %s, not Normal (1)" % state)
    if not c.x11.above(win, competitor):
        problems.append("below the competing window")
    return ", ".join(problems)


def first_raise_x11(session, binary, wm, path):
    """FRESH_STARTS fresh monitors under the window manager wm with trayer, each linked
    and gone into the tray while another window holds the focus; then the first raise
    (path "alarm": a mains-failure frame; "click": a click on the tray icon) must show the
    window over the other one, and it must stay so HOLD_SECONDS later."""
    import run_e2e
    c = run_e2e.Case(session, binary, tray=True, wm=wm, start=False)
    if c.x11.window_manager() is None:
        raise AssertionError("%s is not running" % wm)
    competitor = c.x11.open_window("competitor", 0, 0, 1024, 768)
    failures = []
    for start in range(1, FRESH_STARTS + 1):
        c.start_monitor(name="corvolt-%d" % start)
        harness.wait_until(c.mapped, 5, "the window shown at start")
        c.link_up()
        harness.wait_until(lambda: not c.mapped(), 8, "the window to go into the tray")
        c.x11.activate(competitor)
        harness.wait_until(lambda: c.x11.active_window() == competitor.id, 3,
                           "the competing window to hold the focus")
        if path == "alarm":
            c.sim.send("alarm 1")
        else:
            icon = harness.wait_until(
                lambda: c.x11.descendants_of_pid(c.desktop.panel, c.mon.pid), 5,
                "corvolt's icon in the notification area")[0]
            c.x11.click(icon)
        try:
            harness.wait_until(lambda: not raised_over(c, competitor), 3,
                               "the window raised over the competing window")
            time.sleep(HOLD_SECONDS)
            problem = raised_over(c, competitor)
            if problem:
                raise AssertionError("%.0f s after the raise: %s" % (HOLD_SECONDS, problem))
            log("start %d: raised by %s, still in front %.0f s later" % (start, path,
                                                                          HOLD_SECONDS))
        except AssertionError as e:
            log("start %d: FAILED: %s (%s)" % (start, e, raised_over(c, competitor)))
            failures.append(start)
        session.procs.stop(c.mon.proc)
        c.sim.send("alarm 0", "silent")
    assert not failures, "the first raise by %s failed under %s on start(s) %s of %d" % (
        path, wm, failures, FRESH_STARTS)


def case_openbox_alarm(session, binary):
    """openbox: the first raise by a mains failure after each of 6 fresh starts."""
    first_raise_x11(session, binary, "openbox", "alarm")


def case_openbox_click(session, binary):
    """openbox: the first raise by a tray click after each of 6 fresh starts."""
    first_raise_x11(session, binary, "openbox", "click")


def case_xfwm4_alarm(session, binary):
    """xfwm4: the first raise by a mains failure after each of 6 fresh starts."""
    first_raise_x11(session, binary, "xfwm4", "alarm")


def case_xfwm4_click(session, binary):
    """xfwm4: the first raise by a tray click after each of 6 fresh starts."""
    first_raise_x11(session, binary, "xfwm4", "click")


CASES = {
    "openbox_alarm": case_openbox_alarm,
    "openbox_click": case_openbox_click,
    "xfwm4_alarm": case_xfwm4_alarm,
    "xfwm4_click": case_xfwm4_click,
}
