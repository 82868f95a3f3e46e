#pragma once

#include <cstdint>
#include <functional>

// A window timer: ticks every Interval milliseconds while Enabled. Setting the interval
// restarts the countdown; an interval of 0 never ticks, whatever Enabled says.
// The semantics live here once; a view only supplies the countdown itself.
class Timer {
public:
    virtual ~Timer() = default;

    int Interval() const { return m_interval; }
    void setInterval(int milliseconds);
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // True while a tick is pending: enabled with a non-zero interval.
    bool isCounting() const { return m_enabled && m_interval > 0; }
    // How often the countdown has been started from the beginning.
    std::uint64_t Starts() const { return m_starts; }

    // The tick handler.
    std::function<void()> OnTimer;

protected:
    // Starts a periodic countdown of `milliseconds` from now, replacing any running one.
    virtual void StartCountdown(int milliseconds) = 0;
    virtual void StopCountdown() = 0;
    // Called by the view when the countdown elapses.
    void Elapsed() {
        if (OnTimer)
            OnTimer();
    }

private:
    void Restart();

    int m_interval = 0;
    bool m_enabled = false;
    std::uint64_t m_starts = 0;
};
