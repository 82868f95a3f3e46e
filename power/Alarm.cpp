// The alarm states of the UPS: "0" mains present, "1" running on batteries, "2" shut down.
#include "ui/frmMain.h"

#include "power/ModApi.h"

#include <QGroupBox>
#include <QLabel>

void frmMain::ShowAlarm(std::uint8_t alarmChar) {
    switch (alarmChar) {
    case '0':
        BoxAlarm->setVisible(false);
        BoxInfo->setVisible(true);
        if (AlarmRaised) {
            AlarmRaised = false;
            Timer3.setInterval(TrayDelayMs);
            Timer3.setEnabled(true);
        }
        break;
    case '1':
        BoxAlarm->setVisible(true);
        BoxInfo->setVisible(false);
        if (!AlarmRaised) {
            RaiseWindow();
            AlarmRaised = true;
        }
        break;
    case '2':
        if (!AlarmRaised) {
            RaiseWindow();
            AlarmRaised = true;
        }
        // A refused request is tried again with the next "2" frame.
        if (!m_platform.api.ShutdownWindows())
            return;
        Label_Save->setVisible(true);
        Unload();
    default:
        break;
    }
}
