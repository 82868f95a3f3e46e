// Corvolt: monitor of a UPS on a serial line.
#include "link/QtCommControl.h"
#include "power/ModApi.h"
#include "readings/SystemInfo.h"
#include "ui/AppInstance.h"
#include "ui/MessageBoxes.h"
#include "ui/SysTray.h"
#include "ui/frmMain.h"

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
    QtCommControl comm;
    QtSysTray tray;
    const std::unique_ptr<ModApi> api = CreateModApi(boxes);
    SystemTickCounter ticks;
    SystemNumberLocale locale;

    frmMain form(Platform{comm, boxes, tray, *api, ticks, locale, instance});
    form.Form_Load();
    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    return QApplication::exec();
}
