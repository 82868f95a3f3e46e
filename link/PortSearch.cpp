// The search for the UPS: each tick of Timer1 tries the next of COM1 to COM4.
#include "ui/frmMain.h"

#include "link/CommControl.h"
#include "ui/MessageBoxes.h"

#include <QScopedValueRollback>
#include <QStatusBar>

#include <limits>

namespace {
constexpr int LastPort = 4;
constexpr int SweepsBeforeAsking = 3;
} // namespace

void frmMain::Timer1_Timer() {
    // Undoes a shortened step after a missing port.
    Timer1.setInterval(SearchStepMs);
    if (LinkMode != 0 || m_linkBoxOpen)
        return;
    try {
        if (MSComm1.PortOpen())
            MSComm1.setPortOpen(false);
        ++PortNumber;
        if (PortNumber <= LastPort) {
            StatusBar1->showMessage(QStringLiteral(" Buscando en COM%1").arg(PortNumber));
            MSComm1.setCommPort(PortNumber);
            MSComm1.setPortOpen(true);
            return;
        }
        // A sweep ended without a handshake. The count saturates so that the search, and
        // the question after each fruitless sweep, go on for as long as the user retries.
        if (SweepCount < std::numeric_limits<std::int16_t>::max())
            ++SweepCount;
        if (SweepCount > SweepsBeforeAsking) {
            StatusBar1->showMessage(QStringLiteral("No se pudo establecer comunicación"));
            const int answer =
                AskLinkRetry(QStringLiteral("No se pudo establecer comunicación con el equipo\r\n"
                                            "Verifique las conexiones."));
            if (answer != vb::Retry)
                Unload();
        }
        PortNumber = 0;
    } catch (const CommError& error) {
        if (error.Number == comm::ErrNoSuchPort)
            Timer1.setInterval(MissingPortStepMs);
        else if (error.Number == comm::ErrPermissionDenied)
            StatusBar1->showMessage(
                QStringLiteral(" Sin permiso para abrir COM%1").arg(PortNumber));
    }
}

int frmMain::AskLinkRetry(const QString& prompt) {
    const QScopedValueRollback<bool> boxOpen(m_linkBoxOpen, true);
    return m_platform.boxes.MsgBox(prompt, vb::Critical | vb::RetryCancel,
                                   QStringLiteral("Atención"));
}
