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

TEST(PortLocks, LiveHoldersInEveryFormatAndStaleOnes) {
    const pid_t live = ::getppid(); // the process that runs the tests: alive for now
    const pid_t ended = EndedPid();
    const struct {
        const char* title;
        std::string bytes;
        int holder;
    } rows[] = {
        {"HDB binary, live", Binary(live), live},
        {"HDB binary, ended", Binary(ended), 0},
        {"HDB text, live", Hdb(live), live},
        {"HDB text, ended", Hdb(ended), 0},
        {"Qt QLockFile, live", std::to_string(live) + "\nminicom\nhost\n", live},
        {"Qt QLockFile, ended", std::to_string(ended) + "\napp\nhost\n", 0},
        {"four bytes of text are not binary", "  1\n", 1}, // init, always there
        {"this process's own lock", Hdb(::getpid()), 0},
        {"no pid", "locked\n", 0},
        {"empty", "", 0},
        {"pid beyond range", "99999999999999\n", 0},
    };
    for (const auto& row : rows) {
        LockDir locks;
        const fs::path file = locks.Write("ttyUSB0", row.bytes);
        EXPECT_EQ(LiveLockHolder(locks.dir.string(), "/dev/ttyUSB0"), row.holder) << row.title;
        EXPECT_TRUE(fs::exists(file)) << row.title << ": a lock file is never removed";
        EXPECT_EQ(LiveLockHolder(locks.dir.string(), "/dev/ttyUSB1"), 0)
            << row.title << ": another device's lock";
    }
}

} // namespace
