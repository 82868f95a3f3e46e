#pragma once

#include <cstdint>

// The monitor's direct calls into the operating system: putting the main window in front
// of all others, and asking for a forced power-off.
class ModApi {
public:
    virtual ~ModApi() = default;
    // Raises and activates the (already visible, normal) window with this native handle
    // above all other windows without moving or resizing it. Reports its own failure in a
    // message box and never passes it on.
    virtual void BringToFront(std::intptr_t hWnd) = 0;
    // Asks the system to power off now, closing applications without asking them. True
    // once the request has been accepted; the system goes down after the call. Called
    // again with every further final-alarm frame while it answers false.
    virtual bool ShutdownWindows() = 0;
};
