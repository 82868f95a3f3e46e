// The receive dispatch: every block the UPS sends, handshake while searching, decoded
// status frame once linked.
#include "ui/frmMain.h"

#include "link/CommControl.h"
#include "link/StatusFrame.h"

#include <QDebug>

#include <cmath>
#include <exception>

void frmMain::MSComm1_OnComm() {
    if (MSComm1.CommEvent() != comm::EvReceive)
        return;
    const QByteArray block = MSComm1.Input();

    if (LinkMode == 0) {
        // A block too short to hold a header cannot be the handshake.
        if (block.size() >= 3)
            CheckHandshake(block[0], block[1], block[2]);
        ShowUptime();
        Timer2.setInterval(WatchdogMs);
        Timer2.setEnabled(true);
        Timer3.setInterval(TrayDelayMs);
        Timer3.setEnabled(true);
        return;
    }

    // The watchdog cannot fire while a frame is being handled.
    Timer2.setEnabled(false);
    if (const std::optional<StatusFrame> frame = DecodeFrame(block)) {
        try {
            // The alarm comes first: on an accepted shutdown the program ends here.
            ShowAlarm(frame->AlarmChar);
            ShowRegulation(frame->RegulationChar);
            // A word past 32767 carries no reading: its label keeps what it showed.
            if (frame->PeriodWord)
                ShowFrequency(*frame->PeriodWord);
            if (frame->VoltageWord)
                ShowLineVoltage(std::sqrt(static_cast<double>(*frame->VoltageWord)));
            ShowBattery(frame->BatteryByte);
        } catch (const std::exception& error) {
            // Whatever goes wrong with one frame, the link stays watched.
            qWarning("Corvolt: status frame not shown: %s", error.what());
        }
    }
    ShowUptime();
    Timer2.setInterval(WatchdogMs);
    Timer2.setEnabled(true);
    MSComm1.setInBufferCount(0);
}

void frmMain::CheckHandshake(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if (!IsHeader(b0, b1, b2))
        return;
    LinkMode = 1;
    Timer1.setEnabled(false);
    Timer1.setInterval(0);
}
