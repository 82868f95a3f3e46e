// The search for the UPS: each tick of Timer1 tries the next of COM1 to COM4.
#include "link/DeviceLink.h"

#include "platform/CommControl.h"
#include "platform/Controls.h"
#include "platform/MessageBoxes.h"
#include "platform/Timer.h"

#include <limits>

namespace {
constexpr int LastPort = 4;
constexpr int SweepsBeforeAsking = 3;
} // namespace

void DeviceLink::Timer1_Timer() {
    // Undoes a shortened step after a missing port.
    m_searchTimer.setInterval(SearchStepMs);
    if (LinkMode != 0 || m_linkBoxOpen)
        return;
    try {
        if (m_comm.PortOpen())
            m_comm.setPortOpen(false);
        ++PortNumber;
        if (PortNumber <= LastPort) {
            // A refused port's text stays on the status bar until some port opens, so that
            // the reason the UPS is not found can be read while the search goes on.
            const std::string searching = " Buscando en COM" + std::to_string(PortNumber);
            if (!m_refusalShown)
                m_statusBar.setSimpleText(searching);
            m_comm.setCommPort(PortNumber);
            m_comm.setPortOpen(true);
            if (m_refusalShown) {
                m_refusalShown = false;
                m_statusBar.setSimpleText(searching);
            }
            return;
        }
        // A sweep ended without a handshake. The count saturates so that the search, and
        // the question after each fruitless sweep, go on for as long as the user retries.
        if (SweepCount < std::numeric_limits<std::int16_t>::max())
            ++SweepCount;
        if (SweepCount > SweepsBeforeAsking) {
            m_statusBar.setSimpleText("No se pudo establecer comunicación");
            m_refusalShown = false;
            const int answer = AskLinkRetry("No se pudo establecer comunicación con el equipo\r\n"
                                            "Verifique las conexiones.");
            if (answer != vb::Retry)
                Unload();
        }
        PortNumber = 0;
    } catch (const CommError& error) {
        if (error.Number == comm::ErrNoSuchPort)
            m_searchTimer.setInterval(MissingPortStepMs);
        else if (error.Number == comm::ErrPermissionDenied || error.Number == comm::ErrPortInUse) {
            const std::string port = "COM" + std::to_string(PortNumber);
            m_statusBar.setSimpleText(error.Number == comm::ErrPermissionDenied
                                          ? " Sin permiso para abrir " + port
                                          : " " + port + " ocupado por otro programa");
            m_refusalShown = true;
        }
    }
}

int DeviceLink::AskLinkRetry(const std::string& prompt) {
    // Cleared again however the box ends.
    struct BoxOpen {
        explicit BoxOpen(bool& flag) : m_flag(flag) { m_flag = true; }
        ~BoxOpen() { m_flag = false; }
        bool& m_flag;
    } const boxOpen(m_linkBoxOpen);
    return m_boxes.MsgBox(prompt, vb::Critical | vb::RetryCancel, "Atención");
}
