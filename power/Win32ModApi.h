#pragma once

// Needs no Qt, so that the Windows glue that includes it can be checked with a bare cross
// compiler.
#include "power/ModApi.h"
#include "power/Win32Shutdown.h"

// ModApi over a table of Win32 functions: the real ones on Windows, fakes in the tests.
class Win32ModApi final : public ModApi {
public:
    Win32ModApi(win32::Win32Api api, MessageBoxes& boxes);
    void BringToFront(QWidget& window) override;
    bool ShutdownWindows() override;

private:
    win32::Win32Api m_api;
    MessageBoxes& m_boxes;
};
