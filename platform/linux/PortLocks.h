#pragma once

#include <string>

// UUCP-style lock files of serial devices: lockDir/LCK..<device name>, written by
// minicom, picocom, NUT's drivers, Qt and others. The pid is read in any of the usual
// forms: 4 bytes in binary (old HDB), "%10d\n" text (HDB), text with words after the pid
// (minicom's "%10d minicom user"), or the first line of Qt's QLockFile ("pid\napp\nhost\n").

// Looks at the device's lock file before the device is opened. Returns the pid of the live
// process, other than this one, that the file names; 0 when the device may be locked.
// A file whose process has ended (a stale lock) is removed, so that the opener takes the
// device at once: Qt itself reads no pid from minicom's form and would wait until the
// file is 30 s old. A live holder's file, this process's own and one with no readable pid
// are left as they are (Qt's age rule decides on the last).
int CheckPortLock(const std::string& lockDir, const std::string& device);
