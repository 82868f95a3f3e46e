// Corvolt: monitor of a UPS on a serial line. The Linux edition: the Qt view, Qt and Linux
// services, and the monitor's behaviour over them.
#include "platform/MonitorEventsFanOut.h"
#include "platform/System.h"
#include "platform/linux/DesktopNotice.h"
#include "platform/linux/DesktopWarnings.h"
#include "platform/linux/ModApiLinux.h"
#include "platform/linux/NetworkUps.h"
#include "platform/linux/PortLocks.h"
#include "platform/linux/ProcessInstance.h"
#include "platform/linux/SerialPorts.h"
#include "platform/qt/MainWindow.h"
#include "platform/qt/QtCommControl.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/QtSysTray.h"
#include "ui/MonitorForm.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The monitor lives in the tray: hiding its window or closing a box must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("corvolt"));
    QApplication::setApplicationVersion(QStringLiteral("2.00.0001"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/corvolt.png")));

    ProcessInstance instance;
    QtMessageBoxes boxes;
    QtSysTray tray;
    ModApiLinux api(boxes);
    SystemTickCounter ticks;
    QtNumberLocale locale;
    QtLog log;
    // COM1..COM4 are the serial ports present, built-in UARTs first, then USB adapters.
    const ComPortNames comPorts(log);
    // A port whose lock file in /run/lock names a live process is in use; a stale lock goes.
    QtCommControl comm([&comPorts](int number) { return QString::fromStdString(comPorts(number)); },
                       [](const QString& device) {
                           return CheckPortLock("/run/lock", device.toStdString()) != 0;
                       });
    // Desktop notifications: a mains failure, and a power-off that will not be possible.
    DesktopNotice mainsFailureNotice(DesktopNotice::Urgency::Critical);
    MainsFailureNotifier mainsFailure(mainsFailureNotice);
    DesktopNotice powerOffWarning(DesktopNotice::Urgency::Normal);
    PowerOffPreflight preflight(api.Worker(), powerOffWarning);
    // The UPS served to other machines over NUT, when the administrator configured it; the
    // power-off then waits for those machines.
    const std::unique_ptr<NetworkUps> network =
        NetworkUps::Start(NetworkUps::ConfigPath(), api, log);
    MonitorEvents noNetwork;
    MonitorEventsFanOut events{&mainsFailure, &preflight,
                               network ? &network->Events() : &noNetwork};
    ModApi& powerOff = network ? static_cast<ModApi&>(network->Gate()) : api;

    MainWindow window;
    MonitorForm form(window.Controls(tray, comm),
                     Services{boxes, powerOff, ticks, locale, instance, log, events, SystemName()});
    if (network)
        network->Gate().OnAccepted = [&form] { form.PowerOffAccepted(); };
    form.Form_Load();
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    preflight.Check();
    return QApplication::exec();
}
