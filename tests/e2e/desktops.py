"""End-to-end cases on real desktops: the first raise out of the tray after a fresh start
under X11 window managers, and the alarm bringing the window back under Wayland
compositors. The window's state is read from the window manager or the compositor, never
from the monitor's own view of itself.
"""

import json
import os
import re
import shutil
import subprocess
import time

import harness
from harness import FakeNotifications, Monitor, Simulator, log

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE_TRAY_HOST = os.path.join(HERE, "fake_tray_host.py")
MAINS_FAILURE_NOTICE = "Falla de línea: funcionamiento con baterías. Guarde su trabajo."

# Fresh starts per case; each one goes into the tray and out again once. openbox is the
# window manager the other cases use; xfwm4 fails the same way and gets fewer.
FRESH_STARTS = {"openbox": 6, "xfwm4": 3}
# How long the raised window must stay as it is.
HOLD_SECONDS = 2.0


def need(*programs):
    """Raises harness.Skip naming the programs that are not installed."""
    missing = [p for p in programs if not shutil.which(p)]
    if missing:
        raise harness.Skip("cannot run: missing the program(s) %s (tools/dev.sh deps desktops)"
                           % ", ".join(missing))


def raised_over(c, competitor, place):
    """What is wrong with the monitor's window as the window manager shows it: it must be
    viewable, in the ICCCM Normal state, stacked above the competing window, focused, and
    at the place (x, y) it had at the start."""
    win = c.x11.main_window(c.mon.pid)
    if win is None:
        return "no window"
    problems = []
    if c.x11.geometry(win)[:2] != place:
        problems.append("moved from %r to %r" % (place, c.x11.geometry(win)[:2]))
    if not c.x11.mapped(win):
        problems.append("not viewable")
    state = c.x11.wm_state(win)
    if state != 1:
        problems.append("WM_STATE %s, not Normal (1)" % state)
    if not c.x11.above(win, competitor):
        problems.append("below the competing window")
    if c.x11.active_window() != win.id:
        problems.append("not focused")
    return ", ".join(problems)


def first_raise_x11(session, binary, wm, path):
    """FRESH_STARTS[wm] fresh monitors under the window manager wm with trayer, each linked
    and gone into the tray while another window holds the focus; then the first raise
    (path "alarm": a mains-failure frame; "click": a click on the tray icon) must show the
    window over the other one and give it the focus, and it must stay so HOLD_SECONDS
    later."""
    import run_e2e
    need(harness.WINDOW_MANAGERS[wm][0])
    c = run_e2e.Case(session, binary, tray=True, wm=wm, start=False)
    if c.x11.window_manager() is None:
        raise AssertionError("%s is not running" % wm)
    competitor = c.x11.open_window("competitor", 0, 0, 1024, 768)
    failures = []
    starts = FRESH_STARTS[wm]
    for start in range(1, starts + 1):
        c.start_monitor(name="corvolt-%d" % start)
        harness.wait_until(c.mapped, 5, "the window shown at start")
        place = c.x11.geometry(c.window())[:2]
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
            harness.wait_until(lambda: not raised_over(c, competitor, place), 3,
                               "the window raised over the competing window")
            time.sleep(HOLD_SECONDS)
            problem = raised_over(c, competitor, place)
            if problem:
                raise AssertionError("%.0f s after the raise: %s" % (HOLD_SECONDS, problem))
            log("start %d: raised by %s, still in front and focused %.0f s later" % (
                start, path, HOLD_SECONDS))
        except AssertionError as e:
            log("start %d: FAILED: %s (%s)" % (start, e, raised_over(c, competitor, place)))
            failures.append(start)
        session.procs.stop(c.mon.proc)
        c.sim.send("alarm 0", "silent")
    assert not failures, "the first raise by %s failed under %s on start(s) %s of %d" % (
        path, wm, failures, starts)


def case_openbox_alarm(session, binary):
    """openbox: the first raise by a mains failure after each of 6 fresh starts."""
    first_raise_x11(session, binary, "openbox", "alarm")


def case_openbox_click(session, binary):
    """openbox: the first raise by a tray click after each of 6 fresh starts."""
    first_raise_x11(session, binary, "openbox", "click")


def case_xfwm4_alarm(session, binary):
    """xfwm4: the first raise by a mains failure after each of 3 fresh starts."""
    first_raise_x11(session, binary, "xfwm4", "alarm")


def case_xfwm4_click(session, binary):
    """xfwm4: the first raise by a tray click after each of 3 fresh starts."""
    first_raise_x11(session, binary, "xfwm4", "click")


# --- Wayland ---------------------------------------------------------------------------


class Weston:
    """weston 10 headless; the window's state from its scene graph (weston-debug): a
    minimised window has no view in any layer."""

    name = "weston"

    def start(self, session, env):
        need("weston", "weston-debug")
        self.env = dict(env, WAYLAND_DISPLAY="corvolt-weston")
        session.procs.start("weston", ["weston", "--backend=headless-backend.so", "--use-pixman",
                                       "--width=1024", "--height=768", "--idle-time=0",
                                       "--socket=corvolt-weston", "--debug"], env=self.env)
        socket = os.path.join(env["XDG_RUNTIME_DIR"], "corvolt-weston")
        harness.wait_until(lambda: os.path.exists(socket), 10, "weston's socket")
        return "corvolt-weston"

    def window(self, pid):
        graph = subprocess.run(["weston-debug", "scene-graph"], env=self.env, timeout=10,
                               capture_output=True, text=True).stdout
        # Layers from top to bottom; in each, views from top to bottom. The workspace's
        # ordinary windows are in the layer at position 0x50000000.
        for layer in re.split(r"\nLayer \d+ ", graph)[1:]:
            views = re.findall(r"View \d+ \(role ([^,]*), PID (\d+)", layer)
            ours = [i for i, (role, view_pid) in enumerate(views)
                    if int(view_pid) == pid and role == "xdg_toplevel"]
            if ours:
                return {"minimized": False, "front": ours[0] == 0,
                        "workspace": layer.startswith("(pos 0x50000000)")}
        return {"minimized": True}


class KWin:
    """KWin 5.27 on a virtual output, from a copy of kwin_wayland (the packaged one carries
    a file capability that a container may refuse); the window's state from a script that
    KWin runs and that prints every window on KWin's standard error."""

    name = "kwin"
    SCRIPT = """var out = [];
var clients = workspace.clientList();
for (var i = 0; i < clients.length; i++) {
    var c = clients[i];
    out.push({pid: c.pid, minimized: c.minimized, active: c.active, stacking: c.stackingOrder});
}
print("%s " + JSON.stringify(out));
"""

    def start(self, session, env):
        need("kwin_wayland")
        self.session = session
        self.env = env
        self.queries = 0
        binary = os.path.join(session.workdir, "kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", binary)
        self.log_file = os.path.join(session.workdir, "kwin.log")
        session.procs.start("kwin", [binary, "--virtual", "--width", "1024", "--height", "768",
                                     "--socket", "corvolt-kwin", "--no-lockscreen"],
                            env=dict(env, XDG_CURRENT_DESKTOP="KDE"))
        harness.wait_until(lambda: self.dbus("/Scripting", "org.freedesktop.DBus.Peer.Ping"),
                           20, "org.kde.KWin on the session bus")
        return "corvolt-kwin"

    def dbus(self, path, method, *args):
        result = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin",
                                 path, method] + list(args), env=self.env, capture_output=True,
                                text=True, timeout=10)
        return result.stdout if result.returncode == 0 else None

    def window(self, pid):
        self.queries += 1
        tag = "corvolt-windows-%d" % self.queries
        script = os.path.join(self.session.workdir, tag + ".js")
        with open(script, "w") as f:
            f.write(self.SCRIPT % tag)
        self.dbus("/Scripting", "org.kde.kwin.Scripting.loadScript", "string:" + script,
                  "string:" + tag)
        self.dbus("/Scripting", "org.kde.kwin.Scripting.start")

        def printed():
            with open(self.log_file, encoding="utf-8", errors="replace") as f:
                for line in f:
                    if line.startswith("js: %s " % tag):
                        return [json.loads(line.split(" ", 2)[2])]
            return None
        windows = harness.wait_until(printed, 5, "KWin's list of windows")[0]
        self.dbus("/Scripting", "org.kde.kwin.Scripting.unloadScript", "string:" + tag)
        ours = [w for w in windows if w["pid"] == pid]
        if not ours:
            return {"minimized": True, "listed": False}
        top = max(w["stacking"] for w in windows)
        return {"minimized": ours[0]["minimized"], "active": ours[0]["active"],
                "front": ours[0]["stacking"] == top, "listed": True}


class Mutter:
    """GNOME's compositor nested in an X window on Xvfb, without gnome-shell: no tray, no
    window list; what it shows is read from screenshots of its X window."""

    name = "mutter"

    def start(self, session, env):
        need("mutter")
        self.desktop = harness.Desktop(session.procs, session.workdir)
        self.desktop.start()
        self.x11 = harness.X11()
        session.procs.start("mutter", ["mutter", "--nested", "--wayland", "--wayland-display",
                                       "corvolt-mutter", "--no-x11"],
                            env=dict(env, DISPLAY=self.desktop.display,
                                     XDG_CURRENT_DESKTOP="GNOME"))
        socket = os.path.join(env["XDG_RUNTIME_DIR"], "corvolt-mutter")
        harness.wait_until(lambda: os.path.exists(socket), 15, "mutter's socket")
        self.output = harness.wait_until(lambda: [w for w in self.x11.toplevels()
                                                  if self.x11.mapped(w)], 10,
                                         "mutter's window on Xvfb")[-1]
        return "corvolt-mutter"

    def window(self, pid):
        """Shown when the output holds many pixels of the window's light grey face (the
        empty output is a dark blue gradient)."""
        raw = subprocess.run(["import", "-window", "0x%x" % self.output.id, "-depth", "8",
                              "rgb:-"], capture_output=True, timeout=20, check=True).stdout
        face = sum(1 for i in range(0, len(raw) - 2, 3)
                   if min(raw[i:i + 3]) > 200 and max(raw[i:i + 3]) - min(raw[i:i + 3]) < 16)
        return {"minimized": face < 10000, "face_pixels": face}


def wayland_case(session, binary, compositor, tray=False):
    """Starts the compositor (and the stand-in tray host when tray), fake notifications, the
    simulator and the monitor on Wayland; returns (monitor, simulator, notifications)."""
    procs, workdir = session.procs, session.workdir
    _, bus = harness.start_bus(procs, "session-bus")
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("QT_", "AT_SPI", "DBUS_", "XDG_", "LC_", "WAYLAND", "DISPLAY"))}
    env.update({"DBUS_SESSION_BUS_ADDRESS": bus, "XDG_RUNTIME_DIR": session.runtime_dir,
                "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus
    notifications = FakeNotifications(procs, workdir, bus)
    if tray:
        harness.start_service(procs, workdir, "fake-tray-host",
                              [harness.PYTHON, FAKE_TRAY_HOST, "--address", bus,
                               "--items", os.path.join(workdir, "tray-items.txt")])
    socket = compositor.start(session, env)
    sim = Simulator(procs, workdir, "--silent")
    app_env = dict(env, QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=socket,
                   DBUS_SYSTEM_BUS_ADDRESS="unix:path=%s/no-system-bus" % session.runtime_dir)
    mon = Monitor(procs, binary, sim.pty, app_env)
    log("corvolt pid %d on %s" % (mon.pid, compositor.name))
    return mon, sim, notifications


def wait_state(compositor, mon, wanted, timeout, what):
    """Waits until every key of wanted has its value in the compositor's view of the
    monitor's window; returns that view."""
    def matches():
        state = compositor.window(mon.pid)
        return state if all(state.get(k) == v for k, v in wanted.items()) else None
    try:
        return harness.wait_until(matches, timeout, what, interval=0.2)
    except AssertionError as e:
        raise AssertionError("%s; %s shows %r" % (e, compositor.name, compositor.window(mon.pid)))


def alarm_brings_back(session, binary, compositor, front):
    """No tray: the window is minimised 4 s after the first frame; a mains failure must
    bring it back, not minimised (and in front where the compositor tells), and keep it so
    2 s later; the critical notification is sent as well."""
    mon, sim, notifications = wayland_case(session, binary, compositor)
    shown = dict(minimized=False, **front)
    wait_state(compositor, mon, shown, 10, "the window shown at start")
    t_open = sim.wait_event("opened", after=mon.started, timeout=5)
    sim.send("resume")
    sim.wait_event("frame", after=t_open, timeout=3)
    wait_state(compositor, mon, {"minimized": True}, 10, "the window minimised (no tray)")
    sim.send("alarm 1")
    state = wait_state(compositor, mon, shown, 5, "the window back for the mains failure")
    log("%s: window back for the alarm: %r" % (compositor.name, state))
    time.sleep(HOLD_SECONDS)
    wait_state(compositor, mon, shown, 0.1, "the window still back %.0f s later" % HOLD_SECONDS)
    assert [n for n in notifications.calls() if n["call"] == "Notify"
            and n["summary"] == MAINS_FAILURE_NOTICE], notifications.calls()


def click_tray_item(session):
    """Activates the monitor's StatusNotifierItem, as a tray host does on a left click."""
    items = harness.wait_until(lambda: open(os.path.join(session.workdir, "tray-items.txt"))
                               .read().split(), 5, "the tray icon registered")
    sender, service = items[0], items[1]
    # An item registers with its bus name, or with its object path from its unique name.
    dest, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=" + dest, path,
                    "org.kde.StatusNotifierItem.Activate", "int32:0", "int32:0"],
                   check=True, capture_output=True, timeout=10)


def case_kwin_tray(session, binary):
    """KWin on Wayland with a tray (a StatusNotifierItem host): the window goes into the
    tray, comes out in front and active for a mains failure, goes back 4 s after it
    clears, and comes out again for a click on the tray icon."""
    kwin = KWin()
    mon, sim, _ = wayland_case(session, binary, kwin, tray=True)
    front = {"listed": True, "minimized": False, "active": True, "front": True}
    wait_state(kwin, mon, front, 10, "the window shown at start")
    t_open = sim.wait_event("opened", after=mon.started, timeout=5)
    sim.send("resume")
    sim.wait_event("frame", after=t_open, timeout=3)
    wait_state(kwin, mon, {"listed": False}, 10, "the window in the tray")
    for what, action in (("a mains failure", lambda: sim.send("alarm 1")),
                         ("a click on the tray icon", lambda: click_tray_item(session))):
        action()
        wait_state(kwin, mon, front, 5, "the window out of the tray for " + what)
        time.sleep(HOLD_SECONDS)
        wait_state(kwin, mon, front, 0.1, "the window still in front for " + what)
        log("kwin with a tray: window in front for %s" % what)
        if what.startswith("a mains"):
            sim.send("alarm 0")
            wait_state(kwin, mon, {"listed": False}, 8, "the window back in the tray")


def case_weston(session, binary):
    """weston (no tray): a mains failure brings the minimised window back in front."""
    alarm_brings_back(session, binary, Weston(), {"front": True, "workspace": True})


def case_kwin(session, binary):
    """KWin on Wayland without a tray: a mains failure brings the minimised window back,
    active and on top."""
    alarm_brings_back(session, binary, KWin(), {"front": True, "active": True})


def case_mutter(session, binary):
    """mutter (GNOME without a tray extension): a mains failure brings the minimised window
    back on the screen."""
    alarm_brings_back(session, binary, Mutter(), {})


CASES = {
    "openbox_alarm": case_openbox_alarm,
    "openbox_click": case_openbox_click,
    "xfwm4_alarm": case_xfwm4_alarm,
    "xfwm4_click": case_xfwm4_click,
    "weston": case_weston,
    "kwin": case_kwin,
    "mutter": case_mutter,
    "kwin_tray": case_kwin_tray,
}
