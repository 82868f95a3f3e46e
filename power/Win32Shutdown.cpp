#include "power/Win32Shutdown.h"

#include <utility>

namespace win32 {
namespace {

// Calls a table entry; an entry that cannot be reached gives the zero of its result type,
// which is how every function here reports failure.
template <typename Signature, typename... Args>
auto CallOrFail(const std::function<Signature>& function, Args&&... args) {
    using Result = typename std::function<Signature>::result_type;
    if (!function) {
        return Result{};
    }
    return function(std::forward<Args>(args)...);
}

// Enables "SeShutdownPrivilege" in the own process's token, filling in the new state and
// receiving the previous one. The token is closed again once it has been adjusted: the
// privilege stays enabled, and an attempt repeated on every frame leaves no handle behind.
bool EnableShutdownPrivilege(const Win32Api& api, TOKEN_PRIVILEGES& newState,
                             TOKEN_PRIVILEGES& previousState) {
    const Handle process = CallOrFail(api.GetCurrentProcess);
    Handle token = 0;
    if (CallOrFail(api.OpenProcessToken, process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) ==
        0) {
        return false;
    }
    // Not examined: the adjustment below is attempted in any case.
    CallOrFail(api.LookupPrivilegeValueA, nullptr, ShutdownPrivilegeName,
               &newState.Privileges[0].Luid);
    newState.PrivilegeCount = 1;
    newState.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    std::uint32_t returnLength = 0;
    const bool enabled =
        CallOrFail(api.AdjustTokenPrivileges, token, 0, &newState,
                   std::uint32_t{sizeof previousState}, &previousState, &returnLength) != 0;
    CallOrFail(api.CloseHandle, token);
    return enabled;
}

} // namespace

bool BringToFront(const Win32Api& api, Handle hWnd) {
    if (!api.SetWindowPos) {
        return false;
    }
    api.SetWindowPos(hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    api.SetWindowPos(hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    return true;
}

std::uint32_t GetPlatformId(const Win32Api& api) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return CallOrFail(api.GetVersionExA, &info) != 0 ? info.dwPlatformId : 0;
}

bool IsWindowsNT(const Win32Api& api) {
    return (GetPlatformId(api) & VER_PLATFORM_WIN32_NT) != 0;
}

bool ShutdownWindows(const Win32Api& api) {
    TOKEN_PRIVILEGES newState{};
    TOKEN_PRIVILEGES previousState{};
    bool permitted = true;
    bool result = false;
    // Only the NT family needs the privilege; the other families go straight on.
    if (IsWindowsNT(api)) {
        permitted = EnableShutdownPrivilege(api, newState, previousState);
    }
    if (permitted) {
        result = CallOrFail(api.ExitWindowsEx, EWX_SHUTDOWN | EWX_FORCE, std::uint32_t{0}) != 0;
    }
    return result;
}

} // namespace win32
