#include "platform/MessageBoxes.h"
#include "platform/windows/Win32ModApi.h"
#include "power/Win32Shutdown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using win32::Handle;

constexpr Handle FakeProcess = 80;
constexpr Handle FakeToken = 112;
constexpr Handle FakeWindow = 4660;

bool AllZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

// A Windows that writes each call, with its arguments and the records as they arrive, into
// `calls`, and answers as configured.
struct Answers {
    std::uint32_t platformId = 2;
    bool versionOk = true;
    bool openOk = true;
    bool adjustOk = true;
    bool exitOk = true;
};

struct FakeWindows {
    Answers answers;
    std::vector<std::string> calls;
    int openTokens = 0;

    win32::Win32Api Table() {
        win32::Win32Api api;
        api.SetWindowPos = [this](Handle hWnd, Handle after, int x, int y, int cx, int cy,
                                  std::uint32_t flags) {
            calls.push_back("SetWindowPos(" + std::to_string(hWnd) + "," + std::to_string(after) +
                            "," + std::to_string(x) + "," + std::to_string(y) + "," +
                            std::to_string(cx) + "," + std::to_string(cy) + "," +
                            std::to_string(flags) + ")");
            return 0; // a failed call is not examined
        };
        api.GetVersionExA = [this](win32::OSVERSIONINFOA* info) {
            const bool restZero = AllZero(reinterpret_cast<const char*>(info) + 4, 144);
            calls.push_back("GetVersionExA(" + std::to_string(info->dwOSVersionInfoSize) +
                            (restZero ? ")" : ",dirty)"));
            // Written even when failing, so that a caller reading it anyway is caught.
            info->dwPlatformId = answers.platformId;
            return answers.versionOk ? 1 : 0;
        };
        api.GetCurrentProcess = [this] {
            calls.push_back("GetCurrentProcess()");
            return FakeProcess;
        };
        api.OpenProcessToken = [this](Handle process, std::uint32_t access, Handle* token) {
            calls.push_back("OpenProcessToken(" + std::to_string(process) + "," +
                            std::to_string(access) + ")");
            if (!answers.openOk) {
                return 0;
            }
            *token = FakeToken;
            ++openTokens;
            return 1;
        };
        api.LookupPrivilegeValueA = [this](const char* system, const char* name,
                                           win32::LUID* luid) {
            calls.push_back(std::string("LookupPrivilegeValueA(") + (system ? system : "null") +
                            "," + name + ")");
            *luid = win32::LUID{0x13, -7};
            return 0; // not examined
        };
        api.AdjustTokenPrivileges = [this](Handle token, int disableAll,
                                           win32::TOKEN_PRIVILEGES* state, std::uint32_t length,
                                           win32::TOKEN_PRIVILEGES* previous,
                                           std::uint32_t* returnLength) {
            const auto& entry = state->Privileges[0];
            calls.push_back(
                "AdjustTokenPrivileges(" + std::to_string(token) + "," +
                std::to_string(disableAll) + ",count=" + std::to_string(state->PrivilegeCount) +
                ",luid=" + std::to_string(entry.Luid.LowPart) + ":" +
                std::to_string(entry.Luid.HighPart) + ",attr=" + std::to_string(entry.Attributes) +
                (AllZero(&state->Privileges[1], 12) ? "" : ",second entry set") +
                ",len=" + std::to_string(length) +
                (AllZero(previous, sizeof *previous) ? "" : ",previous not zeroed") + ")");
            previous->PrivilegeCount = 1;
            *returnLength = 16;
            return answers.adjustOk ? 1 : 0;
        };
        api.ExitWindowsEx = [this](std::uint32_t flags, std::uint32_t reserved) {
            calls.push_back("ExitWindowsEx(" + std::to_string(flags) + "," +
                            std::to_string(reserved) + ")");
            return answers.exitOk ? 1 : 0;
        };
        api.CloseHandle = [this](Handle object) {
            calls.push_back("CloseHandle(" + std::to_string(object) + ")");
            if (object == FakeToken && openTokens > 0) {
                --openTokens;
                return 1;
            }
            return 0;
        };
        return api;
    }
};

const std::string Version = "GetVersionExA(148)";
const std::string Process = "GetCurrentProcess()";
const std::string Open = "OpenProcessToken(80,40)";
const std::string Lookup = "LookupPrivilegeValueA(null,SeShutdownPrivilege)";
const std::string Adjust = "AdjustTokenPrivileges(112,0,count=1,luid=19:-7,attr=2,len=28)";
const std::string Close = "CloseHandle(112)";
const std::string Exit = "ExitWindowsEx(5,0)";

struct ShutdownCase {
    const char* name;
    Answers answers;
    bool expected;
    std::vector<std::string> calls;
};

TEST(Win32Shutdown, CallsInOrderAndClosesTheToken) {
    // clang-format off
    const ShutdownCase cases[] = {
        {"NT, may shut down",       {2, true, true, true, true},     true,  {Version, Process, Open, Lookup, Adjust, Close, Exit}},
        {"NT, token refused",       {2, true, false, true, true},    false, {Version, Process, Open}},
        {"NT, adjustment fails",    {2, true, true, false, true},    false, {Version, Process, Open, Lookup, Adjust, Close}},
        {"NT, shutdown refused",    {2, true, true, true, false},    false, {Version, Process, Open, Lookup, Adjust, Close, Exit}},
        {"platform 3 has bit 1",    {3, true, true, true, true},     true,  {Version, Process, Open, Lookup, Adjust, Close, Exit}},
        {"95/98",                   {1, true, false, false, true},   true,  {Version, Exit}},
        {"95/98, shutdown refused", {1, true, true, true, false},    false, {Version, Exit}},
        {"Win32s",                  {0, true, true, true, true},     true,  {Version, Exit}},
        {"version query fails",     {2, false, false, false, true},  true,  {Version, Exit}},
    };
    // clang-format on
    for (const ShutdownCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindows fake;
        fake.answers = c.answers;
        EXPECT_EQ(win32::ShutdownWindows(fake.Table()), c.expected);
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_EQ(fake.openTokens, 0);
    }
}

// An entry that cannot be reached counts as a failed call; the rest goes on as usual.
TEST(Win32Shutdown, UnreachableFunctions) {
    struct Case {
        const char* name;
        void (*remove)(win32::Win32Api&);
        bool expected;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"GetVersionExA", [](win32::Win32Api& a) { a.GetVersionExA = nullptr; }, true, {Exit}},
        {"LookupPrivilegeValueA",
         [](win32::Win32Api& a) { a.LookupPrivilegeValueA = nullptr; },
         true,
         {Version, Process, Open, "AdjustTokenPrivileges(112,0,count=1,luid=0:0,attr=2,len=28)",
          Close, Exit}},
        {"AdjustTokenPrivileges",
         [](win32::Win32Api& a) { a.AdjustTokenPrivileges = nullptr; },
         false,
         {Version, Process, Open, Lookup, Close}},
        {"ExitWindowsEx",
         [](win32::Win32Api& a) { a.ExitWindowsEx = nullptr; },
         false,
         {Version, Process, Open, Lookup, Adjust, Close}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindows fake;
        win32::Win32Api api = fake.Table();
        c.remove(api);
        EXPECT_EQ(win32::ShutdownWindows(api), c.expected);
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_EQ(fake.openTokens, 0);
    }
}

TEST(Win32Shutdown, PlatformId) {
    struct Case {
        std::uint32_t platformId;
        bool versionOk;
        std::uint32_t expectedId;
        bool expectedNT;
    };
    const Case cases[] = {
        {0, true, 0, false}, {1, true, 1, false},  {2, true, 2, true},
        {3, true, 3, true},  {2, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.platformId);
        SCOPED_TRACE(c.versionOk);
        FakeWindows fake;
        fake.answers.platformId = c.platformId;
        fake.answers.versionOk = c.versionOk;
        EXPECT_EQ(win32::GetPlatformId(fake.Table()), c.expectedId);
        EXPECT_EQ(win32::IsWindowsNT(fake.Table()), c.expectedNT);
        EXPECT_EQ(fake.calls, std::vector<std::string>(2, Version));
    }
}

struct Box {
    std::string prompt;
    int style;
    std::string title;
};

class RecordingBoxes final : public MessageBoxes {
public:
    std::vector<Box> shown;
    int MsgBox(const std::string& prompt, int style, const std::string& title) override {
        shown.push_back({prompt, style, title});
        return vb::OK;
    }
};

TEST(Win32Shutdown, BringToFrontTogglesTopmost) {
    FakeWindows fake;
    EXPECT_TRUE(win32::BringToFront(fake.Table(), FakeWindow));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"SetWindowPos(4660,-1,0,0,0,0,3)",
                                                    "SetWindowPos(4660,-2,0,0,0,0,3)"}));
}

TEST(Win32Shutdown, ModApiPassesTheWindowHandle) {
    FakeWindows fake;
    RecordingBoxes boxes;
    Win32ModApi api(fake.Table(), boxes);
    const std::string handle = std::to_string(FakeWindow);

    api.BringToFront(FakeWindow);
    EXPECT_TRUE(boxes.shown.empty()); // the calls failed, but they were made
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"SetWindowPos(" + handle + ",-1,0,0,0,0,3)",
                                                    "SetWindowPos(" + handle + ",-2,0,0,0,0,3)"}));

    fake.calls.clear();
    EXPECT_TRUE(api.ShutdownWindows());
    EXPECT_EQ(fake.calls.back(), Exit);
}

TEST(Win32Shutdown, BoxWhenSetWindowPosCannotBeReached) {
    FakeWindows fake;
    win32::Win32Api table = fake.Table();
    table.SetWindowPos = nullptr;
    RecordingBoxes boxes;
    Win32ModApi api(std::move(table), boxes);

    api.BringToFront(FakeWindow);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].prompt,
              "No se pudo enviar la ventana a primer plano\r\nNúmero de Referencia: 0x0001h");
    EXPECT_EQ(boxes.shown[0].style, 64);
    EXPECT_EQ(boxes.shown[0].title, "Atención");
    EXPECT_TRUE(fake.calls.empty());
}

} // namespace
