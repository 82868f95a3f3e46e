// The Windows system's tick counter and name (CreateModApi is in ModApiWindows.cpp).
#include "platform/System.h"

#include <windows.h>

// The 64-bit count, cut to the 32 bits of the classic tick counter that the uptime text
// is written for (it wraps after 49.7 days, as that counter does).
std::uint32_t SystemTickCounter::GetTickCount() {
    return static_cast<std::uint32_t>(::GetTickCount64());
}

std::string SystemName() {
    return "Windows";
}
