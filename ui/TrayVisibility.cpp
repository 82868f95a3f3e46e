// The window's visibility: hidden into the tray when minimised, back in front from the tray.
#include "ui/frmMain.h"

#include "power/ModApi.h"
#include "ui/SysTray.h"

void frmMain::Form_Resize() {
    if (!(windowState() & Qt::WindowMinimized))
        return;
    // Without a notification area a hidden window could not be brought back, so there it
    // stays minimised on the taskbar.
    if (!cSysTray1.available())
        return;
    setVisible(false);
}

void frmMain::cSysTray1_MouseEvent(short button, int /*value*/) {
    if (button != 1)
        return;
    RaiseWindow();
}

void frmMain::Timer3_Timer() {
    Timer3.setEnabled(false);
    Timer3.setInterval(TrayDelayMs);
    // The state change raises the resize event, which hides the window.
    setWindowState(Qt::WindowMinimized);
}

void frmMain::RaiseWindow() {
    setWindowState(Qt::WindowNoState);
    setVisible(true);
    m_platform.api.BringToFront(*this);
}
