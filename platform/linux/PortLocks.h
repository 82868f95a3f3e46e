#pragma once

#include <string>

// UUCP-style lock files of serial devices: lockDir/LCK..<device name>, written by
// minicom, picocom, NUT's drivers, Qt and others. The pid is read in any of the usual
// forms: 4 bytes in binary (old HDB), "%10d\n" text (HDB, minicom), or the first line of
// Qt's QLockFile ("pid\napp\nhost\n").

// Pid of the live process, other than this one, whose lock file names the device; 0 when
// there is no lock file, it cannot be read, or its process has ended (a stale lock).
// Nothing is removed: a live holder keeps its lock, a stale one is left for the opener.
int LiveLockHolder(const std::string& lockDir, const std::string& device);
