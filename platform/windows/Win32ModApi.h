#pragma once

#include "platform/ModApi.h"
#include "power/Win32Shutdown.h"

class MessageBoxes;

// ModApi over a table of Win32 functions: the real ones on Windows, fakes in the tests.
// Needs neither Qt nor <windows.h>, so it is also built and tested on Linux.
class Win32ModApi final : public ModApi {
public:
    Win32ModApi(win32::Win32Api api, MessageBoxes& boxes);
    void BringToFront(std::intptr_t hWnd) override;
    bool ShutdownWindows() override;

private:
    win32::Win32Api m_api;
    MessageBoxes& m_boxes;
};
