#include "PortLocks.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

#include <signal.h>
#include <unistd.h>

namespace {

constexpr std::size_t MaxLockBytes = 128; // far more than any format needs

// The pid a lock file's bytes name, or 0 when they name none.
long LockPid(const std::string& bytes) {
    // A binary pid is four bytes with a zero among them (pids stay below 2^22); text
    // locks never hold a zero byte, and "123\n" is text.
    if (bytes.size() == sizeof(std::int32_t) && bytes.find('\0') != std::string::npos) {
        std::int32_t pid = 0;
        std::memcpy(&pid, bytes.data(), sizeof pid);
        return pid;
    }
    std::size_t i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t'))
        ++i;
    long pid = 0;
    for (; i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i])); ++i) {
        pid = pid * 10 + (bytes[i] - '0');
        if (pid > 0x7fffffffL)
            return 0;
    }
    return pid;
}

bool Alive(long pid) {
    // EPERM: the process exists but belongs to another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

int CheckPortLock(const std::string& lockDir, const std::string& device) {
    const std::string path = lockDir + "/LCK.." + device.substr(device.find_last_of('/') + 1);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return 0;
    char bytes[MaxLockBytes];
    file.read(bytes, sizeof bytes);
    const long pid = LockPid(std::string(bytes, static_cast<std::size_t>(file.gcount())));
    if (pid <= 0 || pid == ::getpid())
        return 0;
    if (Alive(pid))
        return static_cast<int>(pid);
    // Where it may not be removed (another user's file in the sticky lock directory), the
    // opener cannot take it either and reports the device as in use.
    ::unlink(path.c_str());
    return 0;
}
