// The Windows system's tick counter and name (CreateModApi is in ModApiWindows.cpp).
#include "platform/System.h"

#include <windows.h>

std::uint32_t SystemTickCounter::GetTickCount() {
    return ::GetTickCount();
}

std::string SystemName() {
    return "Windows";
}
