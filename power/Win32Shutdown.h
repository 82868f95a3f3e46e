#pragma once

// The Win32 calls behind ModApi, written against a table of functions so that the same
// code runs on Windows (bound to the real functions) and in the tests (bound to fakes).
// This header needs neither Qt nor <windows.h>; include it before <windows.h>, whose
// macros share the names of the constants below.
#if defined(HWND_TOPMOST)
#error "include power/Win32Shutdown.h before <windows.h>"
#endif

#include <cstddef>
#include <cstdint>
#include <functional>

namespace win32 {

// Window, process and token handles, pointer-sized as on 64-bit Windows.
using Handle = std::intptr_t;

// The platform's records, field for field (little-endian, 4-byte alignment throughout).
struct OSVERSIONINFOA {
    std::uint32_t dwOSVersionInfoSize;
    std::uint32_t dwMajorVersion;
    std::uint32_t dwMinorVersion;
    std::uint32_t dwBuildNumber;
    std::uint32_t dwPlatformId;
    char szCSDVersion[128];
};

struct LUID {
    std::uint32_t LowPart;
    std::int32_t HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    std::uint32_t Attributes;
};

// TOKEN_PRIVILEGES with room for two entries; only the first is ever filled in.
struct TOKEN_PRIVILEGES {
    std::uint32_t PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[2];
};

static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(offsetof(OSVERSIONINFOA, dwPlatformId) == 16);
static_assert(offsetof(OSVERSIONINFOA, szCSDVersion) == 20);
static_assert(sizeof(LUID) == 8);
static_assert(sizeof(LUID_AND_ATTRIBUTES) == 12);
static_assert(sizeof(TOKEN_PRIVILEGES) == 28);
static_assert(offsetof(TOKEN_PRIVILEGES, Privileges) == 4);

constexpr Handle HWND_TOPMOST = -1;
constexpr Handle HWND_NOTOPMOST = -2;
constexpr std::uint32_t SWP_NOSIZE = 1;
constexpr std::uint32_t SWP_NOMOVE = 2;
constexpr std::uint32_t TOKEN_ADJUST_PRIVILEGES = 0x20;
constexpr std::uint32_t TOKEN_QUERY = 0x08;
constexpr std::uint32_t SE_PRIVILEGE_ENABLED = 2;
constexpr std::uint32_t EWX_SHUTDOWN = 1;
constexpr std::uint32_t EWX_FORCE = 4;
constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;
constexpr const char* ShutdownPrivilegeName = "SeShutdownPrivilege";

// The functions used, with the platform's argument order; a nonzero int is the platform's
// TRUE. An empty entry stands for a function that cannot be reached.
struct Win32Api {
    std::function<int(Handle hWnd, Handle hWndInsertAfter, int X, int Y, int cx, int cy,
                      std::uint32_t uFlags)>
        SetWindowPos;
    std::function<int(OSVERSIONINFOA* info)> GetVersionExA;
    std::function<Handle()> GetCurrentProcess;
    std::function<int(Handle process, std::uint32_t desiredAccess, Handle* token)> OpenProcessToken;
    std::function<int(const char* systemName, const char* name, LUID* luid)> LookupPrivilegeValueA;
    std::function<int(Handle token, int disableAllPrivileges, TOKEN_PRIVILEGES* newState,
                      std::uint32_t bufferLength, TOKEN_PRIVILEGES* previousState,
                      std::uint32_t* returnLength)>
        AdjustTokenPrivileges;
    std::function<int(std::uint32_t flags, std::uint32_t reserved)> ExitWindowsEx;
    std::function<int(Handle object)> CloseHandle;
};

// Makes the window topmost and then not topmost again, which leaves it in front of all
// ordinary windows, activated, with its size and place unchanged. The results of the two
// calls are not examined. False when SetWindowPos cannot be reached at all.
bool BringToFront(const Win32Api& api, Handle hWnd);

// The platform id of the running Windows, or 0 when the version query fails.
std::uint32_t GetPlatformId(const Win32Api& api);

// True on the NT family (bit 1 of the platform id).
bool IsWindowsNT(const Win32Api& api);

// Enables the shutdown privilege where the system needs it, then asks for a forced
// shutdown to the point where the power can be cut. True when the system accepted the
// request. A function that cannot be reached counts as a call that failed.
bool ShutdownWindows(const Win32Api& api);

// The table bound to the real functions of user32, kernel32 and advapi32 (Windows only).
Win32Api RealWin32Api();

} // namespace win32
