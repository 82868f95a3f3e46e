#include "ui/Timer.h"

Timer::Timer(QObject* parent) : QObject(parent) {
    // A coarse timer may fire 5 % early: the watchdog must not speak before 7 s of silence.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer();
    });
}

void Timer::setInterval(int milliseconds) {
    m_interval = milliseconds < 0 ? 0 : milliseconds;
    restart();
}

void Timer::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    restart();
}

void Timer::restart() {
    if (m_enabled && m_interval > 0) {
        m_timer.start(m_interval);
        ++m_starts;
    } else
        m_timer.stop();
}
