#include "platform/Timer.h"

void Timer::setInterval(int milliseconds) {
    m_interval = milliseconds < 0 ? 0 : milliseconds;
    Restart();
}

void Timer::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    Restart();
}

void Timer::Restart() {
    if (isCounting()) {
        StartCountdown(m_interval);
        ++m_starts;
    } else {
        StopCountdown();
    }
}
