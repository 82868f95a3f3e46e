// The link watchdog: Timer2 fires when the UPS has sent nothing for WatchdogMs.
#include "ui/frmMain.h"

#include "link/CommControl.h"
#include "ui/MessageBoxes.h"

void frmMain::Timer2_Timer() {
    if (LinkMode != 1 || m_linkBoxOpen)
        return;
    const int answer = AskLinkRetry(QStringLiteral("Se ha perdido la comunicación con el equipo\r\n"
                                                   "Verifique las conexiones"));
    if (answer != vb::Retry)
        Unload();
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
    LinkMode = 0;
    PortNumber = 0;
    SweepCount = 0;
    Timer1.setInterval(SearchStepMs);
    Timer1.setEnabled(true);
    Timer2.setEnabled(false);
}
