#!/usr/bin/python3
"""The package's polkit rule, checked by the real polkitd with pkcheck.

    /usr/bin/python3 tests/polkit/test_polkit_rule.py --rule platform/linux/polkit/50-corvolt.rules

polkitd runs on a private system bus (a dbus-daemon with a configuration written here)
inside a private mount namespace, where the rule is the only file in
/usr/share/polkit-1/rules.d, /etc/polkit-1/rules.d is empty, and test users exist in
/etc/passwd and /etc/group; nothing on the host changes except a cgroup of this test,
removed at the end.

polkit learns whether a subject is local (at a seat) and active from systemd-logind's
state: the session of a process is named by its cgroup
(.../user-UID.slice/session-ID.scope) and described in /run/systemd/sessions/ID and
/run/systemd/users/UID. logind does not run here, so the test writes those files the way
logind does and puts each subject process into its session's cgroup. One run has no such
state at all, as on a machine without logind: polkitd then reports local=false
active=false for every process.

Needs root. When it cannot run the exit status is 77 (skipped), or 1 when CI=true.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import dbus_config  # noqa: E402
import private_mounts  # noqa: E402

POLKITD = "/usr/lib/polkit-1/polkitd"
LOGIN1_POLICY = "/usr/share/polkit-1/actions/org.freedesktop.login1.policy"
ACTIONS = ("power-off", "power-off-multiple-sessions", "power-off-ignore-inhibit")
ALLOWED, CHALLENGE = 0, 2  # pkcheck: authorized; authentication would be needed
IN_NAMESPACE = "CORVOLT_POLKIT_TEST_NAMESPACE"
# What the test mounts over in its private mount namespace.
MOUNT_POINTS = ("/run/systemd", "/etc/polkit-1/rules.d", "/usr/share/polkit-1/rules.d")

# (user, in dialout, session: None or (seat, active)); a seat None is a remote session.
SUBJECTS = [
    ("cvt-member-active", True, ("seat0", True)),
    ("cvt-member-inactive", True, ("seat0", False)),  # another user switched in
    ("cvt-member-remote", True, (None, True)),  # an SSH login
    ("cvt-member-nosession", True, None),  # a system service, cron
    ("cvt-other-active", False, ("seat0", True)),
    ("cvt-other-inactive", False, ("seat0", False)),
]
A, C = ALLOWED, CHALLENGE
# pkcheck's answers for the three actions, per subject, in three set-ups.
EXPECTED = {
    "with the rule": {
        "cvt-member-active": (A, A, A),
        "cvt-member-inactive": (A, A, A),
        "cvt-member-remote": (C, C, C),
        "cvt-member-nosession": (C, C, C),
        "cvt-other-active": (A, A, C),  # systemd's defaults for an active local session
        "cvt-other-inactive": (C, C, C),
    },
    "without the rule": {
        "cvt-member-active": (A, A, C),
        "cvt-member-inactive": (C, C, C),
        "cvt-member-remote": (C, C, C),
        "cvt-member-nosession": (C, C, C),
        "cvt-other-active": (A, A, C),
        "cvt-other-inactive": (C, C, C),
    },
    "with the rule, without logind": {user: (C, C, C) for user, _, _ in SUBJECTS},
}
# Logs what polkitd knows of each subject, so that the test can show it.
SUBJECT_LOG_RULE = """polkit.addRule(function(action, subject) {
    polkit.log("corvolt-test " + action.id + " " + subject.user +
               " local=" + subject.local + " active=" + subject.active);
});
"""


def prerequisites():
    missing = []
    if os.geteuid() != 0:
        missing.append("root")
    for path in (POLKITD,):
        if not os.access(path, os.X_OK):
            missing.append(path + " (package polkitd)")
    for tool in ("pkcheck", "dbus-daemon", "dbus-send", "unshare", "mount", "setpriv"):
        if not shutil.which(tool):
            missing.append("the program " + tool)
    if missing:
        return missing
    # Where no private mount namespace can be made, that alone is the reason.
    problem = private_mounts.problem(MOUNT_POINTS)
    if problem:
        return [problem]
    if cgroup2_root() is None:
        missing.append("a cgroup2 hierarchy")
    return missing


def cgroup2_root():
    """Where the unified cgroup hierarchy is mounted (libsystemd reads its "0::" line)."""
    if not os.path.exists("/proc/self/mountinfo"):
        return None
    with open("/proc/self/mountinfo") as f:
        for line in f:
            fields = line.split()
            fstype = fields[fields.index("-") + 1]
            if fstype == "cgroup2" and fields[4] in ("/sys/fs/cgroup", "/sys/fs/cgroup/unified"):
                return fields[4]
    return None


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(0.05)


def mount(*args):
    subprocess.run(["mount", *args], check=True)


class Machine:
    """Test users, logind's session state, a private system bus and polkitd."""

    def __init__(self, workdir, rule, policy):
        self.workdir = workdir
        self.rule = rule
        self.policy = policy
        self.cgroup = os.path.join(cgroup2_root(), "corvolt-polkit-%d.slice" % os.getpid())
        self.outside_sessions = os.path.join(self.cgroup, "system.slice", "cron.service")
        self.uids = {}
        self.subjects = {}  # user -> process
        self.bus = self.polkitd = None
        self.address = "unix:path=%s/system_bus_socket" % workdir

    def add_users(self):
        passwd, group = open("/etc/passwd").read(), open("/etc/group").read()
        used = {int(line.split(":")[2]) for line in passwd.splitlines() + group.splitlines()
                if line.count(":") >= 3}
        uid = 64100
        lines_p, lines_g, members = [], [], []
        for user, in_dialout, _ in SUBJECTS:
            while uid in used:
                uid += 1
            self.uids[user] = uid
            lines_p.append("%s:x:%d:%d::/nonexistent:/usr/sbin/nologin" % (user, uid, uid))
            lines_g.append("%s:x:%d:" % (user, uid))
            if in_dialout:
                members.append(user)
            uid += 1
        group = re.sub(r"^(dialout:[^:]*:[^:]*:)(.*)$",
                       lambda m: m.group(1) + ",".join(filter(None, [m.group(2)] + members)),
                       group, flags=re.M)
        for name, text, extra in (("passwd", passwd, lines_p), ("group", group, lines_g)):
            path = os.path.join(self.workdir, name)
            with open(path, "w") as f:
                f.write(text.rstrip("\n") + "\n" + "\n".join(extra) + "\n")
            mount("--bind", path, "/etc/" + name)

    def write_sessions(self):
        """/run/systemd as logind leaves it for the subjects' sessions."""
        mount("-t", "tmpfs", "corvolt-logind", "/run/systemd")
        for folder in ("sessions", "users", "seats"):
            os.mkdir("/run/systemd/" + folder)
        for number, (user, _, session) in enumerate(SUBJECTS, 1):
            if session is None:
                continue
            seat, active = session
            sid = "c%d" % number
            lines = ["UID=%d" % self.uids[user], "USER=" + user, "ACTIVE=%d" % active,
                     "STATE=" + ("active" if active else "online"),
                     "REMOTE=%d" % (seat is None), "TYPE=" + ("x11" if seat else "tty"),
                     "CLASS=user", "SCOPE=session-%s.scope" % sid]
            if seat:
                lines.append("SEAT=" + seat)
            with open("/run/systemd/sessions/" + sid, "w") as f:
                f.write("\n".join(lines) + "\n")
            with open("/run/systemd/users/%d" % self.uids[user], "w") as f:
                f.write("NAME=%s\nSTATE=%s\nDISPLAY=%s\nSESSIONS=%s\n"
                        % (user, "active" if active else "online", sid, sid))

    def forget_sessions(self):
        """As where logind has never run: /run/systemd empty, no process in a session's
        cgroup."""
        mount("-t", "tmpfs", "corvolt-no-logind", "/run/systemd")
        for proc in self.subjects.values():
            with open(os.path.join(self.outside_sessions, "cgroup.procs"), "w") as f:
                f.write(str(proc.pid))

    def set_rules(self, with_rule):
        rules = tempfile.mkdtemp(prefix="rules-", dir=self.workdir)
        os.chmod(rules, 0o755)
        with open(os.path.join(rules, "00-corvolt-test-log.rules"), "w") as f:
            f.write(SUBJECT_LOG_RULE)
        if with_rule:
            shutil.copy(self.rule, rules)
        mount("--bind", rules, "/usr/share/polkit-1/rules.d")

    def start_subjects(self):
        """One idle process per user, in its session's cgroup (or none)."""
        for number, (user, _, session) in enumerate(SUBJECTS, 1):
            uid = self.uids[user]
            if session is None:
                path = self.outside_sessions
            else:
                path = os.path.join(self.cgroup, "user.slice", "user-%d.slice" % uid,
                                    "session-c%d.scope" % number)
            os.makedirs(path, exist_ok=True)
            proc = subprocess.Popen(["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid,
                                     "--init-groups", "sleep", "120"])
            with open(os.path.join(path, "cgroup.procs"), "w") as f:
                f.write(str(proc.pid))
            self.subjects[user] = proc

    def start_bus_and_polkitd(self, log_name):
        config = os.path.join(self.workdir, "system-bus.conf")
        with open(config, "w") as f:
            f.write(dbus_config.open_bus("system", self.address))
        os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = self.address
        self.bus = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork"],
                                    stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(self.address.split("=", 1)[1]), 10, "the system bus")
        self.polkitd_log = os.path.join(self.workdir, log_name)
        with open(self.polkitd_log, "w") as log:
            self.polkitd = subprocess.Popen([POLKITD], stdout=log, stderr=subprocess.STDOUT)
        wait_until(self.polkitd_ready, 10, "polkitd on the private bus")

    def polkitd_ready(self):
        result = subprocess.run(
            ["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
             "string:org.freedesktop.PolicyKit1"], capture_output=True, text=True, timeout=5)
        return "boolean true" in result.stdout

    def stop_bus_and_polkitd(self):
        for proc in (self.polkitd, self.bus):
            if proc is not None and proc.poll() is None:
                proc.terminate()
                proc.wait(5)
        self.polkitd = self.bus = None

    def pkcheck(self, user, action):
        return subprocess.run(["pkcheck", "--action-id", "org.freedesktop.login1." + action,
                               "--process", str(self.subjects[user].pid)],
                              capture_output=True, timeout=30).returncode

    def seen(self):
        """What polkitd reported of each subject: {user: "local=... active=..."}."""
        with open(self.polkitd_log) as f:
            return {m.group(1): m.group(2) for m in
                    re.finditer(r"corvolt-test \S+ (\S+) (local=\w+ active=\w+)", f.read())}

    def close(self):
        self.stop_bus_and_polkitd()
        for proc in self.subjects.values():
            proc.kill()
            proc.wait()
        for folder, dirs, _ in sorted(os.walk(self.cgroup), key=lambda w: -len(w[0])):
            os.rmdir(folder)


def run(rule, policy):
    failures = []
    workdir = tempfile.mkdtemp(prefix="corvolt-polkit-")
    os.chmod(workdir, 0o755)  # polkitd reads the rules as user polkitd
    machine = Machine(workdir, rule, policy)
    try:
        machine.add_users()
        mount("-t", "tmpfs", "corvolt-etc-rules", "/etc/polkit-1/rules.d")
        if not os.path.exists(LOGIN1_POLICY):
            print("no %s here: using the test copy of its power-off actions" % LOGIN1_POLICY)
            actions = os.path.join(workdir, "actions")
            os.mkdir(actions)
            shutil.copy(policy, os.path.join(actions, "org.freedesktop.login1.policy"))
            mount("--bind", actions, "/usr/share/polkit-1/actions")
        machine.write_sessions()
        machine.start_subjects()
        for setup, answers in EXPECTED.items():
            machine.set_rules(with_rule="with the rule" in setup)
            if "without logind" in setup:
                machine.forget_sessions()
            machine.start_bus_and_polkitd("polkitd-%s.log" % setup.replace(" ", "-"))
            seen = {}
            for user, expected in answers.items():
                actual = tuple(machine.pkcheck(user, action) for action in ACTIONS)
                seen = machine.seen()
                print("%-30s %-21s %-26s pkcheck %s" % (setup, user, seen.get(user, "?"), actual))
                if actual != expected:
                    failures.append("%s, %s: pkcheck %r, expected %r" % (setup, user, actual, expected))
            machine.stop_bus_and_polkitd()
            if "without logind" in setup:
                wrong = {u: s for u, s in seen.items() if s != "local=false active=false"}
                if wrong:
                    failures.append("without logind polkitd saw %r" % wrong)
    finally:
        machine.close()
        shutil.rmtree(workdir, ignore_errors=True)
    for failure in failures:
        print("FAILED: " + failure, file=sys.stderr)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--rule", required=True, help="the package's .rules file")
    parser.add_argument("--policy", default=os.path.join(here, "login1-power-off.policy"),
                        help="login1's power-off actions, used where systemd's file is missing")
    args = parser.parse_args()
    if os.environ.get(IN_NAMESPACE) == "1":
        return run(os.path.abspath(args.rule), os.path.abspath(args.policy))
    missing = prerequisites()
    if missing:
        if os.environ.get("CI") == "true":
            print("ERROR: polkit rule test cannot run: missing " + "; ".join(missing), file=sys.stderr)
            return 1
        print("SKIPPED: polkit rule test: missing " + "; ".join(missing), file=sys.stderr)
        return 77
    env = dict(os.environ, **{IN_NAMESPACE: "1"})
    return subprocess.call(["unshare", "--mount", "--propagation", "private", sys.executable,
                            os.path.abspath(__file__), "--rule", os.path.abspath(args.rule),
                            "--policy", os.path.abspath(args.policy)], env=env)


if __name__ == "__main__":
    sys.exit(main())
