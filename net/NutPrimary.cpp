#include "net/NutPrimary.h"

#include "link/StatusFrame.h"
#include "platform/Timer.h"
#include "readings/ReadingsDisplay.h"

namespace corvolt::net {

void NutFeed::FrameDecoded(const StatusFrame& frame) {
    m_ups.updateStatus(frame.RegulationChar, frame.AlarmChar);
}

void NutFeed::ReadingsShown(const ShownReadings& readings) {
    m_ups.updateReadings(readings.lineVoltage, readings.frequency, readings.batteryPercent);
}

ShutdownGate::ShutdownGate(ModApi& system, NutUps& ups, Timer& timer)
    : m_system(system), m_ups(ups), m_timer(timer) {
    m_timer.OnTimer = [this] { release(); };
    m_ups.onLoginsChanged = [this] {
        if (m_state == State::Waiting && m_ups.numLogins() == 0)
            release();
    };
}

ShutdownGate::~ShutdownGate() {
    m_ups.onLoginsChanged = nullptr;
}

bool ShutdownGate::ShutdownWindows() {
    switch (m_state) {
    case State::Released:
        return m_system.ShutdownWindows();
    case State::Waiting:
        return false;
    case State::Idle:
        break;
    }
    m_ups.setForcedShutdown();
    if (m_ups.numLogins() == 0) {
        m_state = State::Released;
        return m_system.ShutdownWindows();
    }
    m_state = State::Waiting;
    m_timer.setInterval(SecondariesWaitMs);
    m_timer.setEnabled(true);
    return false;
}

void ShutdownGate::release() {
    m_timer.setEnabled(false);
    if (m_state != State::Waiting)
        return;
    // A refused request is asked again by the next final-alarm frame, straight through.
    m_state = State::Released;
    if (m_system.ShutdownWindows() && OnAccepted)
        OnAccepted();
}

} // namespace corvolt::net
