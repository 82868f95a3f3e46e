// The link watchdog: Timer2 fires when the UPS has sent nothing for WatchdogMs.
#include "link/DeviceLink.h"

#include "platform/CommControl.h"
#include "platform/MessageBoxes.h"
#include "platform/MonitorEvents.h"
#include "platform/Timer.h"

void DeviceLink::Timer2_Timer() {
    if (LinkMode != 1 || m_linkBoxOpen)
        return;
    m_events.LinkLost();
    const int answer = AskLinkRetry("Se ha perdido la comunicación con el equipo\r\n"
                                    "Verifique las conexiones");
    if (answer != vb::Retry)
        Unload();
    if (m_comm.PortOpen())
        m_comm.setPortOpen(false);
    LinkMode = 0;
    PortNumber = 0;
    SweepCount = 0;
    m_searchTimer.setInterval(SearchStepMs);
    m_searchTimer.setEnabled(true);
    m_watchdog.setEnabled(false);
}
