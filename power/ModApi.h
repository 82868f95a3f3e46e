#pragma once

class QWidget;

// The monitor's direct calls into the operating system: putting the main window in front
// of all others, and asking for a forced power-off.
class ModApi {
public:
    virtual ~ModApi() = default;
    // Raises and activates the (already visible, normal) window above all other windows
    // without moving or resizing it. Reports its own failure in a message box.
    virtual void BringToFront(QWidget& window) = 0;
    // Asks the system to power off now, closing applications without asking them.
    // True exactly when the request was accepted; the system goes down after the call.
    virtual bool ShutdownWindows() = 0;
};

class MessageBoxes;

#include <memory>

// The running system's implementation (Win32 on Windows, X11/Wayland and logind on Linux).
std::unique_ptr<ModApi> CreateModApi(MessageBoxes& boxes);
