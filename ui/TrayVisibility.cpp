// The window's visibility: hidden into the tray when minimised, back in front from the tray.
#include "ui/MonitorForm.h"

#include "platform/Controls.h"
#include "platform/ModApi.h"
#include "platform/SysTray.h"
#include "platform/Timer.h"

void MonitorForm::Form_Resize() {
    if (frmMain.WindowState() != vbMinimized)
        return;
    // Without a notification area a hidden window could not be brought back, so there it
    // stays minimised on the taskbar.
    if (!cSysTray1.available())
        return;
    frmMain.setVisible(false);
}

void MonitorForm::cSysTray1_MouseEvent(short button, int /*value*/) {
    if (button != 1)
        return;
    RaiseWindow();
}

void MonitorForm::Timer3_Timer() {
    Timer3.setEnabled(false);
    Timer3.setInterval(TrayDelayMs);
    // The state change raises the resize event, which hides the window.
    frmMain.setWindowState(vbMinimized);
}

void MonitorForm::RaiseWindow() {
    frmMain.setWindowState(vbNormal);
    frmMain.setVisible(true);
    m_api.BringToFront(frmMain.hWnd());
}
