#!/usr/bin/python3
"""Where the end-to-end and polkit tests cannot mount in a private namespace, they skip
(exit 77) with one reason on one line, without a traceback.

    /usr/bin/python3 tests/test_skip_without_mounts.py --binary build/corvolt

Three machines are made from this one: root without CAP_SYS_ADMIN (a container without
mount rights), and two chroots, whose root is no mount point so that its propagation
cannot be made private, one of them without /run (no /run/lock, no /run/systemd). The
chroots hold the host's directories bound in a private mount namespace of this test.

Needs root; exit status 77 (skipped) elsewhere, or 1 when CI=true.
"""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import private_mounts  # noqa: E402

IN_NAMESPACE = "CORVOLT_SKIP_TEST_NAMESPACE"
WITHOUT_SYS_ADMIN = ["setpriv", "--bounding-set=-sys_admin", "--"]
# (machine, what the reason must name)
MACHINES = [
    ("root without CAP_SYS_ADMIN", "private mount namespace"),
    ("chroot", "private mount namespace"),
    ("chroot without /run", "/run/"),
]


def make_chroot(with_run):
    """A chroot on a tmpfs over /mnt holding the host's top-level directories (bound, but
    /mnt) and links."""
    subprocess.run(["mount", "-t", "tmpfs", "corvolt-chroot", "/mnt"], check=True)
    root = "/mnt/root"
    os.mkdir(root)
    for entry in sorted(os.listdir("/")):
        host, inside = "/" + entry, os.path.join(root, entry)
        if os.path.islink(host):
            os.symlink(os.readlink(host), inside)
        elif os.path.isdir(host):
            os.mkdir(inside)
            if entry != "mnt" and (with_run or entry != "run"):
                subprocess.run(["mount", "--rbind", host, inside], check=True)
    return root


def run_in(machine, argv):
    """(exit status, stderr) of argv on the machine, without CI=true."""
    env = {k: v for k, v in os.environ.items() if k not in ("CI", IN_NAMESPACE)}
    if machine == "root without CAP_SYS_ADMIN":
        argv = WITHOUT_SYS_ADMIN + argv
    else:
        argv = ["chroot", make_chroot(with_run=machine == "chroot")] + argv
    result = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=60)
    return result.returncode, result.stderr


def check(binary):
    tests = {
        "end-to-end": [sys.executable, os.path.join(HERE, "e2e", "run_e2e.py"), "--binary",
                       binary, "link_up"],
        "polkit rule": [sys.executable, os.path.join(HERE, "polkit", "test_polkit_rule.py"),
                        "--rule", os.path.join(os.path.dirname(HERE), "platform", "linux",
                                               "polkit", "50-corvolt.rules")],
    }
    failures = []
    for machine, reason in MACHINES:
        for name, argv in tests.items():
            status, stderr = run_in(machine, argv)
            skips = [line for line in stderr.splitlines() if line.startswith("SKIPPED:")]
            print("%-27s %-11s exit %d: %s" % (machine, name, status, " | ".join(skips)))
            if status != 77 or len(skips) != 1 or reason not in skips[0] or "Traceback" in stderr:
                failures.append("%s, %s: exit %d, expected 77 and one SKIPPED line naming %r:\n%s"
                                % (machine, name, status, reason, stderr))
    for failure in failures:
        print("FAILED: " + failure, file=sys.stderr)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True, help="the corvolt executable")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    if os.environ.get(IN_NAMESPACE) == "1":
        return check(binary)
    # This test mounts over /mnt itself.
    missing = "root" if os.geteuid() != 0 else private_mounts.problem(["/mnt"])
    if missing:
        reason = "skip test without mounts: missing " + missing
        if os.environ.get("CI") == "true":
            print("ERROR: " + reason, file=sys.stderr)
            return 1
        print("SKIPPED: " + reason, file=sys.stderr)
        return 77
    # The chroots' mounts stay in a namespace of this test.
    return subprocess.call(["unshare", "--mount", "--propagation", "private", sys.executable,
                            os.path.abspath(__file__), "--binary", binary],
                           env=dict(os.environ, **{IN_NAMESPACE: "1"}))


if __name__ == "__main__":
    sys.exit(main())
