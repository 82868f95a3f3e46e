"""Whether the tests that mount over system directories in a private mount namespace (the
end-to-end and polkit tests) can do so here.

A chroot cannot make its root's propagation private (the root is no mount point there), a
container without CAP_SYS_ADMIN may not make a mount namespace, and a bare root file
system may lack the directories the tests mount over (/run/systemd, /run/lock). Each of
these is found by trying, once, before any test starts.
"""

import os
import subprocess

PROBE = 'for dir; do mount -t tmpfs corvolt-probe "$dir" || exit 1; done'


def problem(mount_points):
    """None when a private mount namespace can be made here and a tmpfs mounted on each of
    mount_points in it; otherwise what is missing, e.g. "the directory /run/systemd"."""
    missing = [path for path in mount_points if not os.path.isdir(path)]
    if missing:
        return "the director%s %s (as in a chroot or a bare container)" % (
            "y" if len(missing) == 1 else "ies", ", ".join(missing))
    try:
        result = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                                 PROBE, "sh", *mount_points],
                                capture_output=True, text=True, timeout=10)
    except (OSError, subprocess.TimeoutExpired) as e:
        return "a working unshare (%s)" % e
    if result.returncode == 0:
        return None
    lines = result.stderr.strip().splitlines()
    return ("a private mount namespace to mount in, as in a chroot or a container without "
            "mount rights (%s)" % (lines[-1] if lines else "exit %d" % result.returncode))
