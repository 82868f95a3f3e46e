#!/usr/bin/python3
"""Smoke case of the Windows edition under Wine: corvolt.exe in a fresh prefix whose COM1 is
the UPS simulator and COM2 to COM4 silent ptys, on Xvfb with openbox and trayer. The
window's readings appear, the window goes to the tray about 4 s after the UPS first
answers, a click on the tray icon brings it back, and Finalizar (Alt+F) ends the program. Exit status 77 when the machine cannot
run it (no Wine, no X server), or 1 when CI=true.

Usage: run_smoke.py --exe corvolt.exe --inspector corvolt_inspect.exe
"""

import argparse
import os
import subprocess
import sys

import wine_harness as wh

TITLE = "Orvane   Corvolt"
VOLTAGE = "Voltaje de línea : 120. Volts"
FREQUENCY = "Frecuencia : 60.Hz."


def smoke(exe, inspector_exe, workdir, template):
    procs = wh.Processes(workdir)
    spares = [wh.SparePort() for _ in range(wh.COM_PORTS - 1)]
    prefix = None
    try:
        desktop = wh.WineDesktop(procs)
        desktop.start()
        sim = wh.Simulator(procs, workdir, "--volts-code", "11926", "--battery", "212",
                           "--period", "16667")
        prefix = wh.WinePrefix(procs, workdir, [sim.pty] + [s.path for s in spares])
        prefix.create(template)
        inspector = wh.Inspector(prefix, inspector_exe)
        monitor = prefix.start("corvolt", exe)

        # The window exists, hidden, from before the start-up until it is shown.
        first = inspector.wait_for(lambda c: c.get("frmMain", (False,))[0], 30,
                                   "the Corvolt window shown")
        assert first["frmMain"] == (True, TITLE), first["frmMain"]
        assert first["cmdFin"] == (True, "&Finalizar"), first["cmdFin"]
        assert not first["BoxAlarm"][0], "the alarm panel is shown at start"

        controls = inspector.wait_for(lambda c: c.get("Label_VL", (False, ""))[1] == VOLTAGE,
                                      20, "the line voltage")
        wh.log("linked: %s" % {k: v for k, v in controls.items() if k.startswith("Label")})
        assert controls["Label_Fcia"] == (True, FREQUENCY), controls["Label_Fcia"]
        assert controls["Label_Status"] == (True, "Regulando línea normal"), \
            controls["Label_Status"]
        assert controls["Img_Vl1"][0] and not controls["Img_vl2"][0], "lamps"
        assert controls["StatusBar1"][1].startswith(" Sesión en Windows : "), controls["StatusBar1"]

        # About 4 s after the first frame, Timer3 minimises the window into the tray.
        inspector.wait_for(lambda c: c.get("WindowState") == (False, "1"), 10,
                           "the window in the tray")
        wh.log("the window went to the tray")

        wh.X11().click(wh.wait_until(desktop.tray_icon, 10, "the tray icon"))
        inspector.wait_for(lambda c: c.get("WindowState") == (True, "0"), 10,
                           "the window back from the tray")
        wh.log("a click on the tray icon brought the window back")

        subprocess.run(["xdotool", "key", "alt+f"], check=True, timeout=5)
        wh.wait_until(lambda: monitor.poll() is not None, 15, "corvolt.exe to end")
        assert monitor.returncode == 0, "corvolt.exe ended with %d" % monitor.returncode
        prefix.check_ports()
        wh.log("Alt+F (Finalizar) ended corvolt.exe")
    finally:
        if prefix:
            prefix.shutdown()
        procs.stop_all()
        for spare in spares:
            spare.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--inspector", required=True)
    parser.add_argument("--template", help="a prefix to copy (run_wine_e2e.py --make-template)")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    try:
        wh.check_prerequisites(args.exe, args.inspector)
    except wh.Skip as e:
        return wh.skipped(str(e))
    template = args.template if args.template and os.path.isdir(args.template) else None
    with wh.work_directory(args.keep) as workdir:
        smoke(os.path.abspath(args.exe), os.path.abspath(args.inspector), workdir, template)
    print("wine smoke: ok", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
