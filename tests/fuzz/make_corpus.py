#!/usr/bin/python3
"""Writes the seed corpus of fuzz_dispatch (tests/fuzz/corpus): short sessions of the
UPS's real frames, made by the simulator's encoder (tools/ups_sim.py), in the target's
input format (see fuzz_dispatch.cpp).

    /usr/bin/python3 tests/fuzz/make_corpus.py
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import ups_sim  # noqa: E402

RECEIVE, TIMER1, TIMER2, TIMER3, DESKTOP, CONFIGURE = 0, 3, 4, 5, 6, 7
ACCEPT_POWER_OFF = 1
NO_SUCH_PORT = 1 << 2


def encoder(**values):
    defaults = dict(volts_code=11926, battery=212, period=16667, regulation=ord("0"),
                    alarm=ord("0"), rate=1.0, silent=False)
    defaults.update(values)
    return ups_sim.Simulator(argparse.Namespace(**defaults), None, None)


def frame(alarm="0", regulation="0", **values):
    return encoder(alarm=ord(alarm), regulation=ord(regulation), **values).frame()


def receive(block):
    return bytes((RECEIVE, len(block))) + block


def linked(*blocks):
    """COM1 opened, the handshake, then the blocks as the line delivers them."""
    return bytes((TIMER1,)) + receive(frame()) + b"".join(receive(b) for b in blocks)


def missing_ports():
    return b"".join(bytes((CONFIGURE, NO_SUCH_PORT | (port - 1) << 4)) for port in (2, 3, 4))


SEEDS = {
    "normal": linked(*(frame() for _ in range(4))),
    "readings": linked(frame(volts_code=9000, battery=40, period=20000, regulation="1"),
                       frame(volts_code=40000, battery=255, period=65279, regulation="2")),
    "alarm_cycle": linked(frame("0"), frame("1"), frame("1"), frame("0"))
    + bytes((TIMER3,)) + receive(frame("1")) + bytes((DESKTOP, 0)) + receive(frame("0")),
    "final_refused": linked(frame("1"), frame("2"), frame("2"), frame("2")),
    "final_accepted": bytes((CONFIGURE, ACCEPT_POWER_OFF)) + linked(frame("2"), frame("2")),
    "stray_header_byte": linked(frame("0", "2"), b"&" + frame("0", "2"), frame("0", "2")),
    "misaligned": linked(frame()[:4], frame()[4:] + frame()[:3], frame()[3:]),
    # Silence: the lost-link box opens, one frame arrives while it is open, Retry.
    "watchdog": linked(frame()) + bytes((TIMER2, 1)) + receive(frame())
    + bytes((TIMER1,)) + receive(frame()),
    # Four sweeps with COM2 to COM4 missing, then the no-link box answered Retry.
    "search": missing_ports() + bytes((TIMER1,)) * 21 + bytes((0,)) + bytes((TIMER1,)),
}


def main():
    out = os.path.join(HERE, "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print("%d seeds in %s" % (len(SEEDS), out))


if __name__ == "__main__":
    main()
