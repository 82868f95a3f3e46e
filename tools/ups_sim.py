#!/usr/bin/python3
"""Plays a UPS on a serial line: sends Corvolt's 10-byte status frames at a steady rate.

The simulator opens a pseudo-terminal pair (or a device given with --device), prints the
path of the terminal side that the monitor should open, and writes one status frame per
tick to it:

    byte 0..2  "&&&"
    byte 3, 4  VoltageWord as (w // 255, w % 255)   -- weight 255, not 256
    byte 5     battery charge, 0..255 (255 = full)
    byte 6, 7  PeriodWord, the mains period in microseconds, as (p // 255, p % 255)
    byte 8     regulation character: "0" normal, "1" low line, "2" high line
    byte 9     alarm character: "0" normal, "1" mains failure, "2" shut down now

Values are chosen on the command line and can be changed while it runs, through
commands read line by line from standard input and/or a FIFO (--control), or at fixed
times (--schedule).

Examples
    # a 120 V / 60 Hz UPS with an 83 % battery, at 1 frame per second, on a new pty
    # whose path is printed and also linked as /tmp/ups
    tools/ups_sim.py --volts-code 11926 --battery 212 --period 16667 --link /tmp/ups

    # mains failure from second 10 to 20, then silence
    tools/ups_sim.py --volts 120 --schedule "10:alarm=1,20:alarm=0,25:silent"

    # steered through a FIFO, from another terminal or a test
    tools/ups_sim.py --control /tmp/ups.ctl --log /tmp/ups.log
    tools/ups_sim.py --control /tmp/ups.ctl --send "alarm 1"

Commands (from stdin, the --control FIFO or --schedule; "key=value" also works):
    alarm C          alarm character: 0, 1, 2, any other digit, or a byte as 0xNN
    regulation C     regulation character, same forms
    battery N        battery byte 0..255
    volts-code W     VoltageWord 0..65279 (the monitor accepts up to 32767)
    sqrt X           VoltageWord = round(X * X)
    volts V          VoltageWord whose calibrated reading is nearest to V volts
    period P         PeriodWord in microseconds 0..65279
    frequency F      PeriodWord = round(1000000 / F)
    rate HZ          frames per second (0.05..100)
    silent           stop sending (the line falls silent)
    resume | frames  send status frames again
    garbage          send a block of 10 random bytes (never "&&&" at the start)
                     instead of every frame until "resume"
    garbage-once [N] send N random bytes once (default 10), between frames
    badheader        send one frame whose header is "&&%"
    partial          send the first 4 bytes of a frame, then a whole frame
    split [MS]       send the next frame in two writes, MS ms apart (default 300)
    once             send one frame now, outside the regular rate
    hangup           close the simulator's end of the line for good, as when the cable
                     of a USB adapter is pulled (the monitor's open port hangs up)
    status           print the current values to stdout
    quit | exit      end the simulator

Behaviour of the line
    On a pty created here, frames are only written while some process has the terminal
    side open, as a real UART drops bytes nobody reads (a pty would buffer them and
    hand a stale backlog to the next opener). --buffer-when-closed turns this off.
    Write errors (EAGAIN when the reader is slow, EIO when nobody listens) drop the
    frame and are counted; the simulator keeps running.

Log (--log FILE): one line per event, "<CLOCK_MONOTONIC seconds> <event> <details>",
events: start, frame, block (garbage, partial, split, badheader), dropped, opened,
closed, command, quit. After "hangup" the line logs "closed" once and stays closed. Other processes can compare the time with time.monotonic().

The --control FIFO is created when missing and then removed again when the simulator
ends. "--control FIFO --send COMMAND..." writes commands to a running simulator and
fails at once when none reads the FIFO (a plain "echo ... > FIFO" would wait for one).

Exit status: 0 after "quit", end of --duration or SIGTERM/SIGINT; 2 on bad arguments;
1 when --send finds no simulator.
"""

import argparse
import errno
import fcntl
import math
import os
import pty
import random
import select
import signal
import stat
import sys
import time
import tty

WORD_MAX = 255 * 255 + 254  # largest value two bytes of weight 255 can carry

# Calibration of the monitor's voltage reading: sqrt(VoltageWord) -> volts through the
# polynomial of degree six that passes through these points. Used by --volts to pick a
# code; the simulator only needs the curve approximately.
CAL_X = (79.64, 89.21, 99.35, 109.21, 118.16, 127.41, 135.0)
CAL_Y = (95.0, 103.33, 111.66, 120.0, 128.33, 136.66, 145.0)


def calibrated_volts(x):
    total = 0.0
    for i, (xi, yi) in enumerate(zip(CAL_X, CAL_Y)):
        term = yi
        for j, xj in enumerate(CAL_X):
            if j != i:
                term *= (x - xj) / (xi - xj)
        total += term
    return total


def code_for_volts(volts):
    """VoltageWord whose calibrated reading is nearest to volts (rising part of the curve,
    codes 5560..32767: about 92.8 V to 2361 V)."""
    best = min(range(5560, 32768), key=lambda w: abs(calibrated_volts(math.sqrt(w)) - volts))
    return best


def word_bytes(word):
    return bytes((word // 255, word % 255))


def parse_char(text):
    """A digit stands for its ASCII character; 0xNN for a raw byte."""
    text = text.strip()
    if len(text) == 1 and text.isdigit():
        return ord(text)
    if text.lower().startswith("0x"):
        value = int(text, 16)
        if 0 <= value <= 255:
            return value
    raise ValueError("expected a digit or a byte as 0xNN, got %r" % text)


def parse_int(text, low, high, what):
    value = int(text, 0)
    if not low <= value <= high:
        raise ValueError("%s must be %d..%d, got %d" % (what, low, high, value))
    return value


class Line:
    """The simulator's end of the serial line: the master of a pty made here, or a
    device opened for writing."""

    def __init__(self, device=None, link=None, buffer_when_closed=False):
        self.link = link
        self.owns_pty = device is None
        self.buffer_when_closed = buffer_when_closed
        if self.owns_pty:
            self.fd, slave = pty.openpty()
            tty.setraw(slave)
            self.path = os.ttyname(slave)
            # Our own slave descriptor would hide whether the monitor has the port open.
            os.close(slave)
        else:
            self.path = device
            self.fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            if os.isatty(self.fd):
                tty.setraw(self.fd)
        fl = fcntl.fcntl(self.fd, fcntl.F_GETFL)
        fcntl.fcntl(self.fd, fcntl.F_SETFL, fl | os.O_NONBLOCK)
        if link:
            try:
                if os.path.islink(link):
                    os.unlink(link)
            except OSError:
                pass
            os.symlink(self.path, link)

    def hangup(self):
        """Closes this end for good; from now on every write is dropped."""
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def peer_open(self):
        """True when some process holds the terminal side open (pty only: the master
        polls HUP while nobody does). A device is taken as always listened to."""
        if self.fd is None:
            return False
        if not self.owns_pty:
            return True
        poller = select.poll()
        poller.register(self.fd, select.POLLHUP)
        for _, mask in poller.poll(0):
            if mask & select.POLLHUP:
                return False
        return True

    def drain(self):
        """Reads and discards whatever the monitor wrote (it should write nothing)."""
        if self.fd is None:
            return
        try:
            while os.read(self.fd, 4096):
                pass
        except OSError:
            pass

    def write(self, data):
        """Writes data; returns None on success or the name of the error that dropped it."""
        if self.fd is None:
            return "hung-up"
        if self.owns_pty and not self.buffer_when_closed and not self.peer_open():
            return "no-reader"
        try:
            written = os.write(self.fd, data)
        except OSError as e:
            if e.errno in (errno.EAGAIN, errno.EIO, errno.EWOULDBLOCK):
                return errno.errorcode.get(e.errno, str(e.errno))
            raise
        if written != len(data):
            return "short-write-%d" % written
        return None

    def close(self):
        self.hangup()
        if self.link and os.path.islink(self.link):
            os.unlink(self.link)


class Simulator:
    def __init__(self, args, line, log):
        self.line = line
        self.log_file = log
        self.volts_code = args.volts_code
        self.battery = args.battery
        self.period = args.period
        self.regulation = args.regulation
        self.alarm = args.alarm
        self.rate = args.rate
        self.mode = "silent" if args.silent else "frames"
        self.split_ms = None
        self.running = True
        self.counts = {"frames": 0, "blocks": 0, "dropped": 0}
        self.peer_was_open = False

    def log(self, event, details=""):
        if self.log_file:
            self.log_file.write("%.6f %s %s\n" % (time.monotonic(), event, details))
            self.log_file.flush()

    def frame(self, header=b"&&&"):
        return (header + word_bytes(self.volts_code) + bytes((self.battery,))
                + word_bytes(self.period) + bytes((self.regulation, self.alarm)))

    def describe(self):
        return "volts-code=%d battery=%d period=%d regulation=0x%02x alarm=0x%02x" % (
            self.volts_code, self.battery, self.period, self.regulation, self.alarm)

    def send(self, data, event):
        error = self.line.write(data)
        if error:
            self.counts["dropped"] += 1
            self.log("dropped", "%s %s" % (event, error))
            return False
        self.counts["frames" if event == "frame" else "blocks"] += 1
        self.log(event, self.describe() if event == "frame" else data.hex())
        return True

    @staticmethod
    def garbage(n):
        data = bytearray(random.getrandbits(8) for _ in range(n))
        if data[:1] == b"&":
            data[0] = 0x25
        return bytes(data)

    def tick(self):
        """One regular tick of the line."""
        if self.mode == "silent":
            return
        if self.mode == "garbage":
            self.send(self.garbage(10), "garbage")
            return
        if self.split_ms is not None:
            data = self.frame()
            if self.send(data[:4], "split"):
                time.sleep(self.split_ms / 1000.0)
                self.send(data[4:], "split")
            self.split_ms = None
            return
        self.send(self.frame(), "frame")

    def command(self, text):
        """Carries out one command line; raises ValueError for a bad one."""
        text = text.strip()
        if not text or text.startswith("#"):
            return
        words = text.replace("=", " ", 1).split()
        name, rest = words[0].lower(), words[1:]
        arg = rest[0] if rest else None

        def need():
            if arg is None:
                raise ValueError("%s needs a value" % name)
            return arg

        self.log("command", text)
        if name == "alarm":
            self.alarm = parse_char(need())
        elif name == "regulation":
            self.regulation = parse_char(need())
        elif name == "battery":
            self.battery = parse_int(need(), 0, 255, "battery")
        elif name in ("volts-code", "volts_code", "code"):
            self.volts_code = parse_int(need(), 0, WORD_MAX, "volts-code")
        elif name == "sqrt":
            self.volts_code = parse_int(str(round(float(need()) ** 2)), 0, WORD_MAX, "volts-code")
        elif name == "volts":
            self.volts_code = code_for_volts(float(need()))
        elif name == "period":
            self.period = parse_int(need(), 0, WORD_MAX, "period")
        elif name == "frequency":
            self.period = parse_int(str(round(1e6 / float(need()))), 0, WORD_MAX, "period")
        elif name == "rate":
            rate = float(need())
            if not 0.05 <= rate <= 100:
                raise ValueError("rate must be 0.05..100 frames per second")
            self.rate = rate
        elif name == "silent":
            self.mode = "silent"
        elif name in ("resume", "frames"):
            self.mode = "frames"
        elif name == "garbage":
            self.mode = "garbage"
        elif name == "garbage-once":
            self.send(self.garbage(parse_int(arg or "10", 1, 4096, "garbage-once")), "garbage")
        elif name == "badheader":
            self.send(self.frame(b"&&%"), "badheader")
        elif name == "partial":
            self.send(self.frame()[:4], "partial")
            self.send(self.frame(), "frame")
        elif name == "split":
            self.split_ms = parse_int(arg or "300", 0, 10000, "split")
        elif name == "once":
            self.send(self.frame(), "frame")
        elif name == "hangup":
            self.line.hangup()
        elif name == "status":
            print("%s rate=%g mode=%s frames=%d blocks=%d dropped=%d" % (
                self.describe(), self.rate, self.mode, self.counts["frames"],
                self.counts["blocks"], self.counts["dropped"]), flush=True)
        elif name in ("quit", "exit"):
            self.running = False
        else:
            raise ValueError("unknown command %r" % name)

    def check_peer(self):
        is_open = self.line.peer_open()
        if is_open != self.peer_was_open:
            self.log("opened" if is_open else "closed", self.line.path)
            self.peer_was_open = is_open


def parse_schedule(text):
    """'0:alarm=0,10:alarm=1,20:silent' -> [(0.0, 'alarm=0'), (10.0, 'alarm=1'), ...]."""
    items = []
    for part in filter(None, (p.strip() for p in text.split(","))):
        when, sep, cmd = part.partition(":")
        if not sep:
            raise argparse.ArgumentTypeError("schedule item %r lacks 'seconds:'" % part)
        items.append((float(when), cmd))
    return sorted(items, key=lambda item: item[0])


def open_control(path):
    """Opens the command FIFO; returns (descriptor, True when this call created it)."""
    created = not os.path.exists(path)
    if created:
        os.mkfifo(path, 0o600)
    elif not stat.S_ISFIFO(os.stat(path).st_mode):
        raise SystemExit("--control %s exists and is not a FIFO" % path)
    # Read-write, so the FIFO never reports end-of-file when a writer goes away.
    return os.open(path, os.O_RDWR | os.O_NONBLOCK), created


def send_commands(path, commands):
    """Writes commands to the FIFO of a running simulator, without waiting for one."""
    try:
        if not stat.S_ISFIFO(os.stat(path).st_mode):
            raise SystemExit("%s is not a simulator's FIFO" % path)
        # Non-blocking: with no reader the open fails (ENXIO) instead of waiting.
        fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
    except FileNotFoundError:
        fd = None
    except OSError as e:
        if e.errno != errno.ENXIO:
            raise
        fd = None
    if fd is None:
        print("no simulator reads %s" % path, file=sys.stderr)
        return 1
    try:
        os.write(fd, "".join(c + "\n" for c in commands).encode())
    finally:
        os.close(fd)
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        epilog=__doc__[__doc__.index("Examples"):],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    line = parser.add_argument_group("line")
    line.add_argument("--device", help="write to this existing device instead of a new pty")
    line.add_argument("--link", help="create a symlink with this name to the pty's terminal side")
    line.add_argument("--buffer-when-closed", action="store_true",
                      help="write frames even while nobody has the pty open (they pile up)")
    values = parser.add_argument_group("frame values")
    volts = values.add_mutually_exclusive_group()
    volts.add_argument("--volts-code", type=lambda s: parse_int(s, 0, WORD_MAX, "volts-code"),
                       default=11926, help="VoltageWord (default 11926: 120 V)")
    volts.add_argument("--sqrt", type=float, help="VoltageWord = round(SQRT * SQRT)")
    volts.add_argument("--volts", type=float, help="VoltageWord that reads nearest to VOLTS")
    values.add_argument("--battery", type=lambda s: parse_int(s, 0, 255, "battery"), default=212,
                        help="battery byte 0..255 (default 212: 83 %%)")
    values.add_argument("--period", type=lambda s: parse_int(s, 0, WORD_MAX, "period"),
                        default=16667, help="PeriodWord in microseconds (default 16667: 60 Hz)")
    values.add_argument("--regulation", type=parse_char, default=ord("0"),
                        help="regulation character 0/1/2 or 0xNN (default 0)")
    values.add_argument("--alarm", type=parse_char, default=ord("0"),
                        help="alarm character 0/1/2 or 0xNN (default 0)")
    timing = parser.add_argument_group("timing and control")
    timing.add_argument("--rate", type=float, default=1.0, help="frames per second (default 1)")
    timing.add_argument("--silent", action="store_true", help="start silent (until 'resume')")
    timing.add_argument("--schedule", type=parse_schedule, default=[],
                        help="commands at seconds after start: '0:alarm=0,10:alarm=1,20:silent'")
    timing.add_argument("--control",
                        help="FIFO to read commands from (created if missing, removed at the end)")
    timing.add_argument("--send", nargs="+", metavar="COMMAND",
                        help="only write these commands to the --control FIFO of a running "
                             "simulator")
    timing.add_argument("--no-stdin", action="store_true", help="do not read commands from stdin")
    timing.add_argument("--duration", type=float, help="end after this many seconds")
    timing.add_argument("--log", help="append an event log to this file")
    args = parser.parse_args(argv)
    if args.sqrt is not None:
        args.volts_code = parse_int(str(round(args.sqrt ** 2)), 0, WORD_MAX, "volts-code")
    if args.volts is not None:
        args.volts_code = code_for_volts(args.volts)
    if not 0.05 <= args.rate <= 100:
        parser.error("--rate must be 0.05..100")
    if args.send:
        if not args.control:
            parser.error("--send needs --control FIFO")
        return send_commands(args.control, args.send)

    line_end = Line(args.device, args.link, args.buffer_when_closed)
    log = open(args.log, "a", buffering=1) if args.log else None
    sim = Simulator(args, line_end, log)
    print(line_end.path, flush=True)

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    signal.signal(signal.SIGPIPE, signal.SIG_IGN)

    inputs = {}
    if not args.no_stdin:
        try:
            os.set_blocking(sys.stdin.fileno(), False)
            inputs[sys.stdin.fileno()] = b""
        except (OSError, ValueError):
            pass
    created_control = False
    if args.control:
        control_fd, created_control = open_control(args.control)
        inputs[control_fd] = b""

    sim.log("start", "%s %s" % (line_end.path, sim.describe()))
    start = time.monotonic()
    next_tick = start
    schedule = list(args.schedule)
    try:
        while sim.running and not stop:
            now = time.monotonic()
            if args.duration is not None and now - start >= args.duration:
                break
            while schedule and now - start >= schedule[0][0]:
                _, cmd = schedule.pop(0)
                try:
                    sim.command(cmd)
                except ValueError as e:
                    print("schedule: %s" % e, file=sys.stderr, flush=True)
            sim.check_peer()
            if now >= next_tick:
                sim.tick()
                next_tick += 1.0 / sim.rate
                if next_tick < now:  # fell behind (e.g. a long split): keep the rate, skip backlog
                    next_tick = now + 1.0 / sim.rate
            wait = max(0.0, min(next_tick - time.monotonic(), 0.05))
            try:
                # The master reads EIO at once while nobody holds the terminal side.
                watched = list(inputs) + ([line_end.fd] if sim.peer_was_open else [])
                ready, _, _ = select.select(watched, [], [], wait)
            except InterruptedError:
                continue
            for fd in ready:
                if fd == line_end.fd:
                    line_end.drain()
                    continue
                try:
                    chunk = os.read(fd, 4096)
                except BlockingIOError:
                    continue
                if not chunk:  # end of stdin: keep running on the other sources
                    del inputs[fd]
                    continue
                inputs[fd] += chunk
                *lines, inputs[fd] = inputs[fd].split(b"\n")
                for raw in lines:
                    try:
                        sim.command(raw.decode("utf-8", "replace"))
                    except ValueError as e:
                        print("command: %s" % e, file=sys.stderr, flush=True)
                    if not sim.running:
                        break
    finally:
        sim.log("quit", "frames=%d blocks=%d dropped=%d" % (
            sim.counts["frames"], sim.counts["blocks"], sim.counts["dropped"]))
        line_end.close()
        if created_control:
            os.unlink(args.control)
        if log:
            log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
