#pragma once

#include "platform/Timer.h"

#include <QTimer>

// A window timer counting down with a QTimer.
class QtTimer final : public Timer {
public:
    QtTimer();

protected:
    void StartCountdown(int milliseconds) override;
    void StopCountdown() override;

private:
    QTimer m_timer;
};
