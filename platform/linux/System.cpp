// The Linux system's tick counter and name (the program builds its ModApiLinux itself).
#include "platform/System.h"

#include <ctime>

std::uint32_t SystemTickCounter::GetTickCount() {
    // CLOCK_BOOTTIME keeps counting through suspend, like the Windows counter; the
    // millisecond count is cut to 32 bits so that it wraps the same way.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

std::string SystemName() {
    return "Linux";
}
