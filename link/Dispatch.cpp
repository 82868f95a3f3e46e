// The receive dispatch: every block the UPS sends, handshake while searching, decoded
// status frame once linked.
#include "link/DeviceLink.h"

#include "link/StatusFrame.h"
#include "platform/CommControl.h"
#include "platform/Log.h"
#include "platform/MonitorEvents.h"
#include "platform/Timer.h"
#include "power/AlarmStates.h"
#include "readings/ReadingsDisplay.h"

#include <cmath>
#include <exception>
#include <vector>

DeviceLink::DeviceLink(CommControl& MSComm1, Timer& Timer1, Timer& Timer2, Timer& Timer3,
                       StatusBar& StatusBar1, MessageBoxes& boxes, Log& log, MonitorEvents& events,
                       ReadingsDisplay& readings, AlarmStates& alarms)
    : m_comm(MSComm1), m_searchTimer(Timer1), m_watchdog(Timer2), m_trayTimer(Timer3),
      m_statusBar(StatusBar1), m_boxes(boxes), m_log(log), m_events(events), m_readings(readings),
      m_alarms(alarms) {}

void DeviceLink::MSComm1_OnComm() {
    if (m_comm.CommEvent() != comm::EvReceive)
        return;
    const std::vector<std::uint8_t> block = m_comm.Input();

    if (LinkMode == 0) {
        // A block too short to hold a header cannot be the handshake.
        if (block.size() >= 3)
            CheckHandshake(block[0], block[1], block[2]);
        m_readings.ShowUptime();
        m_watchdog.setInterval(WatchdogMs);
        m_watchdog.setEnabled(true);
        m_trayTimer.setInterval(AlarmStates::TrayDelayMs);
        m_trayTimer.setEnabled(true);
        return;
    }

    // The watchdog cannot fire while a frame is being handled.
    m_watchdog.setEnabled(false);
    if (const std::optional<StatusFrame> frame = DecodeFrame(block)) {
        try {
            m_events.FrameDecoded(*frame);
            // The alarm comes first: on an accepted shutdown the program ends here.
            m_alarms.ShowAlarm(frame->AlarmChar);
            m_readings.ShowRegulation(frame->RegulationChar);
            // A word past 32767 carries no reading: its label keeps what it showed.
            ShownReadings shown;
            if (frame->PeriodWord)
                shown.frequency = m_readings.ShowFrequency(*frame->PeriodWord);
            if (frame->VoltageWord)
                shown.lineVoltage =
                    m_readings.ShowLineVoltage(std::sqrt(static_cast<double>(*frame->VoltageWord)));
            shown.batteryPercent = m_readings.ShowBattery(frame->BatteryByte);
            m_events.ReadingsShown(shown);
        } catch (const std::exception& error) {
            // Whatever goes wrong with one frame, the link stays watched.
            m_log.Warning(std::string("Corvolt: status frame not shown: ") + error.what());
        }
    }
    m_readings.ShowUptime();
    m_watchdog.setInterval(WatchdogMs);
    m_watchdog.setEnabled(true);
    m_comm.setInBufferCount(0);
}

void DeviceLink::CheckHandshake(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if (!IsHeader(b0, b1, b2))
        return;
    LinkMode = 1;
    // Two "2" frames in a row means two on one link.
    m_alarms.FinalAlarmPending = false;
    m_searchTimer.setEnabled(false);
    m_searchTimer.setInterval(0);
    m_events.LinkUp();
}
