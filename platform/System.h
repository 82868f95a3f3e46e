#pragma once
// The running system's own services, implemented once per operating system
// (platform/linux, platform/windows); CMake builds the one of the target.

#include "platform/SystemInfo.h"

#include <memory>
#include <string>

class MessageBoxes;
class ModApi;

// The system's tick counter: CLOCK_BOOTTIME on Linux, GetTickCount on Windows.
class SystemTickCounter final : public TickCounter {
public:
    std::uint32_t GetTickCount() override;
};

// The system's name as the uptime text shows it: "Linux" or "Windows".
std::string SystemName();

// The system's foregrounding and power-off; failures to bring the window forward are told
// in a box. Windows; the Linux program builds its ModApiLinux itself, whose power-off
// worker also serves the pre-flight check.
std::unique_ptr<ModApi> CreateModApi(MessageBoxes& boxes);
