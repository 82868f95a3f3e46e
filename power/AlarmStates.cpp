// The alarm states of the UPS: "0" mains present, "1" running on batteries, "2" shut down.
#include "power/AlarmStates.h"

#include "platform/Controls.h"
#include "platform/ModApi.h"
#include "platform/MonitorEvents.h"
#include "platform/Timer.h"

AlarmStates::AlarmStates(Visual& BoxAlarm, Visual& BoxInfo, Label& Label_Save, Timer& Timer3,
                         ModApi& api, MonitorEvents& events)
    : m_alarmPanel(BoxAlarm), m_infoPanel(BoxInfo), m_saveLabel(Label_Save), m_trayTimer(Timer3),
      m_api(api), m_events(events) {}

void AlarmStates::ShowAlarm(std::uint8_t alarmChar) {
    const bool finalAlarmConfirmed = FinalAlarmPending && alarmChar == '2';
    FinalAlarmPending = alarmChar == '2';
    switch (alarmChar) {
    case '0':
        m_alarmPanel.setVisible(false);
        m_infoPanel.setVisible(true);
        if (AlarmRaised) {
            AlarmRaised = false;
            m_trayTimer.setInterval(TrayDelayMs);
            m_trayTimer.setEnabled(true);
            m_events.MainsRestored();
        }
        break;
    case '1':
        m_alarmPanel.setVisible(true);
        m_infoPanel.setVisible(false);
        if (!AlarmRaised) {
            RaiseForAlarm();
            m_events.MainsFailure();
        }
        break;
    case '2':
        if (!AlarmRaised)
            RaiseForAlarm();
        if (!finalAlarmConfirmed)
            return;
        // A refused request is tried again with the next "2" frame.
        if (!m_api.ShutdownWindows())
            return;
        PowerOffAccepted();
    default:
        break;
    }
}

void AlarmStates::PowerOffAccepted() {
    m_saveLabel.setVisible(true);
    Unload();
}

void AlarmStates::RaiseForAlarm() {
    // A minimise still pending (armed by the handshake at start-up) would hide the alarm
    // for good; the window goes back to the tray only when the alarm clears.
    m_trayTimer.setEnabled(false);
    RaiseWindow();
    AlarmRaised = true;
}
