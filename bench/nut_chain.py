#!/usr/bin/python3
"""Time of the final-alarm chain through NUT: from the last byte of the confirming
final-alarm frame to the secondary's shutdown command, and to this machine's PowerOff.
It checks nothing and is not a test.

    /usr/bin/python3 bench/nut_chain.py --binary build/corvolt [--runs 8] [--nut-defaults]

Each run is an end-to-end set-up (tests/e2e): the monitor with its NUT server on a free
loopback port, the UPS simulator on COM1, a fake logind, and Debian's upsmon as a
secondary (POLLFREQ 1, POLLFREQALERT 1, FINALDELAY 0; --nut-defaults leaves NUT's own
values 5, 5, 5). The simulator switches to the final alarm; its second "2" frame confirms
it. Printed next to NUT's own chain measured on this kind of machine (a NUT primary with
a dummy driver and upsmon as its secondary): 0.77 s from LB to SHUTDOWNCMD with
FINALDELAY 0, 9.74 s with the defaults. Needs root and nut-client.
"""

import argparse
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
import harness  # noqa: E402
import nut  # noqa: E402
import run_e2e  # noqa: E402

NUT_OWN = {False: 0.77, True: 9.74}  # seconds from LB to SHUTDOWNCMD


def one_run(binary, nut_defaults):
    """(seconds to the secondary's shutdown command, seconds to PowerOff)."""
    with harness.Session() as session:
        c, port = run_e2e.nut_case(session, binary, logind={"can_power_off": "yes"})
        c.link_up()
        c.wait_readings(run_e2e.NORMAL_READINGS)
        # upsmon polls once a second, as the UPS sends; seen readings mean a frame just came,
        # so a random pause keeps its polls from being in step with the frames.
        time.sleep(random.uniform(0, 1))
        secondary = nut.Secondary(session.procs, session.workdir, port, nut_defaults)
        harness.wait_until(lambda: "127.0.0.1" in nut.upsc(port, clients=True)[1], 10,
                           "upsmon logged in")
        mark = time.monotonic()
        c.sim.send("alarm 2")
        first = c.sim.wait_event("frame", after=mark, timeout=3)
        confirming = c.sim.wait_event("frame", after=first, timeout=3)
        t_shutdown = secondary.wait_event("SHUTDOWNCMD", after=first, timeout=30)
        c.mon.wait_exit(nut.SECONDARIES_WAIT + 5)
        power_off = [t for t, call in c.logind.timed_calls() if call == "PowerOff false"][0]
        return t_shutdown - confirming, power_off - confirming


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--runs", type=int, default=8)
    parser.add_argument("--nut-defaults", action="store_true",
                        help="upsmon with NUT's default POLLFREQ, POLLFREQALERT and FINALDELAY")
    parser.add_argument("--one-run", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    harness.check_prerequisites(binary)
    if args.one_run:
        print("%.4f %.4f" % one_run(binary, args.nut_defaults))
        return 0
    # Each run in its own process: AT-SPI binds to the first session bus it meets.
    argv = [sys.executable, __file__, "--binary", binary, "--one-run"] + (
        ["--nut-defaults"] if args.nut_defaults else [])
    results = []
    for _ in range(args.runs):
        out = subprocess.run(argv, check=True, stdout=subprocess.PIPE, text=True, timeout=120)
        results.append(tuple(float(x) for x in out.stdout.split()[-2:]))
    settings = "NUT defaults" if args.nut_defaults else "POLLFREQ 1, FINALDELAY 0"
    print("From the confirming final-alarm frame (upsmon: %s), %d runs:" % (settings, args.runs))
    for i, name in enumerate(("secondary's SHUTDOWNCMD", "this machine's PowerOff")):
        values = [r[i] for r in results]
        print("  %-24s median %.2f s, min %.2f s, max %.2f s" % (
            name, statistics.median(values), min(values), max(values)))
    print("  NUT's own chain, LB to SHUTDOWNCMD: %.2f s" % NUT_OWN[args.nut_defaults])
    return 0


if __name__ == "__main__":
    sys.exit(main())
