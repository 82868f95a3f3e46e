#include "platform/linux/ModApiLinux.h"

#include "platform/System.h"
#include "power/ForegroundFailure.h"

#include <QDBusMessage>
#include <QWidget>
#include <QWindow>

namespace {

QDBusMessage CallLogind(const QDBusConnection& bus, const QString& method,
                        const QVariantList& arguments, int timeoutMs) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    call.setArguments(arguments);
    // Block, not BlockWithGui: no other handler of the window may run meanwhile.
    return bus.call(call, QDBus::Block, timeoutMs);
}

} // namespace

bool RequestPowerOff(const QDBusConnection& bus, int timeoutMs) {
    const QDBusMessage answer = CallLogind(bus, QStringLiteral("CanPowerOff"), {}, timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.signature() != QLatin1String("s") ||
        answer.arguments().constFirst().toString() != QLatin1String("yes")) {
        return false;
    }
    // interactive = false: no authentication dialog; refused at once where one is needed.
    const QDBusMessage reply = CallLogind(bus, QStringLiteral("PowerOff"), {false}, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

ModApiLinux::ModApiLinux(MessageBoxes& boxes, BusProvider bus) : m_boxes(boxes), m_bus(bus) {}

void ModApiLinux::BringToFront(std::intptr_t hWnd) {
    QWidget* const window = QWidget::find(static_cast<WId>(hWnd));
    QWindow* const native = window != nullptr ? window->windowHandle() : nullptr;
    if (native == nullptr || native->handle() == nullptr) {
        ShowForegroundFailure(m_boxes);
        return;
    }
    // Stay-on-top for a moment puts the window above all others; the old flags come back at
    // once so that it does not cover windows the user brings forward later. QWindow::setFlags
    // changes the native window in place, where QWidget::setWindowFlags would hide and
    // re-create it.
    const Qt::WindowFlags flags = native->flags();
    native->setFlags(flags | Qt::WindowStaysOnTopHint);
    native->setFlags(flags);
    window->raise();
    window->activateWindow();
}

bool ModApiLinux::ShutdownWindows() {
    return RequestPowerOff(m_bus());
}

std::unique_ptr<ModApi> CreateModApi(MessageBoxes& boxes) {
    return std::make_unique<ModApiLinux>(boxes);
}
