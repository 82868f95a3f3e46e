#pragma once

#include "platform/ModApi.h"
#include "platform/linux/PowerOffWorker.h"

#include <chrono>
#include <cstdint>
#include <memory>

class MessageBoxes;

// ModApi on Linux: the window with that native handle is raised through Qt (X11 or
// Wayland, where a window not active is shown anew as the only way out of a minimise
// that Qt cannot see); the power-off is asked of a power-off service (systemd-logind over the
// system bus) on a worker thread, so that a service that hangs holds the window for `wait` at most
// per final-alarm frame (see PowerOffWorker::Request).
class ModApiLinux final : public ModApi {
public:
    // systemd-logind on the system bus.
    explicit ModApiLinux(MessageBoxes& boxes);
    ModApiLinux(MessageBoxes& boxes, std::unique_ptr<PowerOffService> service,
                std::chrono::milliseconds wait = PowerOffWait);
    void BringToFront(std::intptr_t hWnd) override;
    bool ShutdownWindows() override;
    // The thread of the power-off calls; the pre-flight check asks through it as well, so
    // that the program holds a single connection to logind.
    PowerOffWorker& Worker() { return m_worker; }

private:
    MessageBoxes& m_boxes;
    const std::unique_ptr<PowerOffService> m_service;
    PowerOffWorker m_worker; // after the service, which it calls until it is destroyed
};
