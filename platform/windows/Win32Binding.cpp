// The function table bound to the real Windows functions. Needs no Qt, so that it can be
// compiled and linked with a bare cross compiler (tools/check-win32-build.sh).
#include "power/Win32Shutdown.h"

#include <windows.h>

// The records handed to the platform as they are.
static_assert(sizeof(::OSVERSIONINFOA) == sizeof(win32::OSVERSIONINFOA));
static_assert(offsetof(::OSVERSIONINFOA, dwPlatformId) ==
              offsetof(win32::OSVERSIONINFOA, dwPlatformId));
static_assert(offsetof(::OSVERSIONINFOA, szCSDVersion) ==
              offsetof(win32::OSVERSIONINFOA, szCSDVersion));
static_assert(sizeof(::LUID) == sizeof(win32::LUID));
static_assert(offsetof(::LUID, HighPart) == offsetof(win32::LUID, HighPart));
static_assert(sizeof(::LUID_AND_ATTRIBUTES) == sizeof(win32::LUID_AND_ATTRIBUTES));
static_assert(offsetof(::LUID_AND_ATTRIBUTES, Attributes) ==
              offsetof(win32::LUID_AND_ATTRIBUTES, Attributes));
static_assert(offsetof(::TOKEN_PRIVILEGES, Privileges) ==
              offsetof(win32::TOKEN_PRIVILEGES, Privileges));
static_assert(sizeof(HANDLE) == sizeof(win32::Handle) && sizeof(HWND) == sizeof(win32::Handle));

namespace win32 {
namespace {

HANDLE AsHandle(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

Win32Api RealWin32Api() {
    Win32Api api;
    api.SetWindowPos = [](Handle hWnd, Handle hWndInsertAfter, int X, int Y, int cx, int cy,
                          std::uint32_t uFlags) {
        return static_cast<int>(::SetWindowPos(reinterpret_cast<HWND>(hWnd),
                                               reinterpret_cast<HWND>(hWndInsertAfter), X, Y, cx,
                                               cy, uFlags));
    };
    api.GetVersionExA = [](OSVERSIONINFOA* info) {
        return static_cast<int>(::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(info)));
    };
    api.GetCurrentProcess = [] { return reinterpret_cast<Handle>(::GetCurrentProcess()); };
    api.OpenProcessToken = [](Handle process, std::uint32_t desiredAccess, Handle* token) {
        HANDLE opened = nullptr;
        const BOOL ok = ::OpenProcessToken(AsHandle(process), desiredAccess, &opened);
        *token = reinterpret_cast<Handle>(opened);
        return static_cast<int>(ok);
    };
    api.LookupPrivilegeValueA = [](const char* systemName, const char* name, LUID* luid) {
        return static_cast<int>(
            ::LookupPrivilegeValueA(systemName, name, reinterpret_cast<::LUID*>(luid)));
    };
    api.AdjustTokenPrivileges = [](Handle token, int disableAllPrivileges,
                                   TOKEN_PRIVILEGES* newState, std::uint32_t bufferLength,
                                   TOKEN_PRIVILEGES* previousState, std::uint32_t* returnLength) {
        DWORD length = 0;
        const BOOL ok = ::AdjustTokenPrivileges(
            AsHandle(token), disableAllPrivileges, reinterpret_cast<::TOKEN_PRIVILEGES*>(newState),
            bufferLength, reinterpret_cast<::TOKEN_PRIVILEGES*>(previousState), &length);
        *returnLength = length;
        return static_cast<int>(ok);
    };
    api.ExitWindowsEx = [](std::uint32_t flags, std::uint32_t reserved) {
        return static_cast<int>(::ExitWindowsEx(flags, reserved));
    };
    api.CloseHandle = [](Handle object) {
        return static_cast<int>(::CloseHandle(AsHandle(object)));
    };
    return api;
}

} // namespace win32
