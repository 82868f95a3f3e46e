#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// A window timer: ticks every Interval milliseconds while Enabled. Setting the interval
// restarts the countdown; an interval of 0 never ticks, whatever Enabled says.
class Timer final : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr);

    int Interval() const { return m_interval; }
    void setInterval(int milliseconds);
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // True while a tick is pending: enabled with a non-zero interval.
    bool isCounting() const { return m_timer.isActive(); }
    // How often the countdown has been started from the beginning.
    quint64 Starts() const { return m_starts; }

    std::function<void()> OnTimer;

private:
    void restart();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
    quint64 m_starts = 0;
};
