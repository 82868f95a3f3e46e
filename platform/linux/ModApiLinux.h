#pragma once

#include "platform/ModApi.h"

#include <QDBusConnection>

#include <cstdint>

class MessageBoxes;

// Longest wait for each of the two calls to logind, in milliseconds. The request is made
// on the GUI thread during a power failure, so a bus that does not answer must not hold
// the window for long; the next frame with the final alarm tries again.
constexpr int LogindCallTimeoutMs = 2000;

// Asks systemd-logind on `bus` for a power-off that asks no one: CanPowerOff() plays the
// role of the shutdown privilege, and only its answer "yes" leads to PowerOff(false).
// True exactly when PowerOff returned without error. No bus, no logind, any other answer
// or an error reply give false.
bool RequestPowerOff(const QDBusConnection& bus, int timeoutMs = LogindCallTimeoutMs);

// ModApi on Linux: the window with that native handle is raised through Qt (X11 or
// Wayland), the power-off is requested from logind over the system bus.
class ModApiLinux final : public ModApi {
public:
    // The bus is looked up at each request; the tests put a private bus in its place.
    using BusProvider = QDBusConnection (*)();

    explicit ModApiLinux(MessageBoxes& boxes, BusProvider bus = &QDBusConnection::systemBus);
    void BringToFront(std::intptr_t hWnd) override;
    bool ShutdownWindows() override;

private:
    MessageBoxes& m_boxes;
    BusProvider m_bus;
};
