#include "platform/linux/ModApiLinux.h"

#include "platform/linux/LogindClient.h"
#include "power/ForegroundFailure.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <utility>

ModApiLinux::ModApiLinux(MessageBoxes& boxes)
    : ModApiLinux(boxes, std::make_unique<LogindClient>()) {}

ModApiLinux::ModApiLinux(MessageBoxes& boxes, std::unique_ptr<PowerOffService> service,
                         std::chrono::milliseconds wait)
    : m_boxes(boxes), m_service(std::move(service)), m_worker(*m_service, wait) {}

void ModApiLinux::BringToFront(std::intptr_t hWnd) {
    QWidget* const window = QWidget::find(static_cast<WId>(hWnd));
    if (window == nullptr || window->windowHandle() == nullptr ||
        window->windowHandle()->handle() == nullptr) {
        ShowForegroundFailure(m_boxes);
        return;
    }
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
        !window->isActiveWindow()) {
        // Wayland has no request to undo a minimise, and Qt cannot tell whether the
        // compositor keeps the window minimised: the window is shown anew (a new native
        // window, see MainWindow), which compositors map in front. The activation below
        // asks for the focus through xdg-activation.
        window->hide();
        window->show();
    }
    // Stay-on-top for a moment puts the window above all others; the old flags come back at
    // once so that it does not cover windows the user brings forward later. QWindow::setFlags
    // changes the native window in place, where QWidget::setWindowFlags would hide and
    // re-create it.
    QWindow* const native = window->windowHandle();
    const Qt::WindowFlags flags = native->flags();
    native->setFlags(flags | Qt::WindowStaysOnTopHint);
    native->setFlags(flags);
    window->raise();
    window->activateWindow();
}

bool ModApiLinux::ShutdownWindows() {
    return m_worker.Request();
}
