#include "platform/qt/QtTimer.h"

QtTimer::QtTimer() {
    // A coarse timer may fire 5 % early: the watchdog must not speak before 7 s of silence.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Elapsed(); });
}

void QtTimer::StartCountdown(int milliseconds) {
    m_timer.start(milliseconds);
}

void QtTimer::StopCountdown() {
    m_timer.stop();
}
