#include "platform/linux/PortLocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A pid that named a process which has ended (reaped, so kill(2) finds nothing).
pid_t EndedPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

std::string Binary(std::int32_t pid) {
    return std::string(reinterpret_cast<const char*>(&pid), sizeof pid);
}

std::string Hdb(long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

// minicom's form: the pid, then its name and the user's.
std::string Minicom(long pid) {
    char text[40];
    std::snprintf(text, sizeof text, "%10ld minicom root\n", pid);
    return text;
}

struct LockDir {
    fs::path dir = fs::temp_directory_path() / ("portlocks-" + std::to_string(::getpid()));
    LockDir() { fs::create_directories(dir); }
    ~LockDir() { fs::remove_all(dir); }
    fs::path Write(const std::string& device, const std::string& bytes) const {
        const fs::path file = dir / ("LCK.." + device);
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
};

TEST(PortLocks, LiveHoldersInEveryFormatKeptStaleOnesRemoved) {
    const pid_t live = ::getppid(); // the process that runs the tests: alive for now
    const pid_t ended = EndedPid();
    const struct {
        const char* title;
        std::string bytes;
        int holder;
        bool kept;
    } rows[] = {
        {"HDB binary, live", Binary(live), live, true},
        {"HDB binary, ended", Binary(ended), 0, false},
        {"HDB text, live", Hdb(live), live, true},
        {"HDB text, ended", Hdb(ended), 0, false},
        {"minicom text, live", Minicom(live), live, true},
        {"minicom text, ended", Minicom(ended), 0, false}, // Qt reads no pid in it
        {"Qt QLockFile, live", std::to_string(live) + "\nminicom\nhost\n", live, true},
        {"Qt QLockFile, ended", std::to_string(ended) + "\napp\nhost\n", 0, false},
        {"four bytes of text are not binary", "  1\n", 1, true}, // init, always there
        {"this process's own lock", Hdb(::getpid()), 0, true},
        {"no pid", "locked\n", 0, true},
        {"empty", "", 0, true},
        {"pid beyond range", "99999999999999\n", 0, true},
    };
    for (const auto& row : rows) {
        LockDir locks;
        const fs::path file = locks.Write("ttyUSB0", row.bytes);
        EXPECT_EQ(CheckPortLock(locks.dir.string(), "/dev/ttyUSB1"), 0)
            << row.title << ": another device's lock";
        EXPECT_TRUE(fs::exists(file)) << row.title << ": another device's lock is never removed";
        EXPECT_EQ(CheckPortLock(locks.dir.string(), "/dev/ttyUSB0"), row.holder) << row.title;
        EXPECT_EQ(fs::exists(file), row.kept) << row.title;
    }
}

} // namespace
