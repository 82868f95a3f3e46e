#pragma once

#include "net/NutSession.h"
#include "platform/ModApi.h"
#include "platform/MonitorEvents.h"

#include <functional>

class Timer;

namespace corvolt::net {

// Keeps the served UPS in step with the monitor: the status of every decoded frame, the
// readings as the window shows them, stale from a lost link until the next frame.
class NutFeed final : public MonitorEvents {
public:
    explicit NutFeed(NutUps& ups) : m_ups(ups) {}
    void FrameDecoded(const StatusFrame& frame) override;
    void ReadingsShown(const ShownReadings& readings) override;
    void LinkLost() override { m_ups.setStale(true); }

private:
    NutUps& m_ups;
};

// The power-off of this machine as a NUT primary orders it: the confirming final-alarm
// frame sets FSD, which tells every secondary to shut down now; this machine's own
// power-off waits until every logged-in secondary has gone (NUMLOGINS 0) or
// SecondariesWaitMs has passed, whichever comes first. Frames during the wait start no
// second power-off. Without logged-in secondaries nothing waits.
class ShutdownGate final : public ModApi {
public:
    static constexpr int SecondariesWaitMs = 15000;

    // timer is this gate's own; ups must outlive the gate.
    ShutdownGate(ModApi& system, NutUps& ups, Timer& timer);
    ~ShutdownGate() override;
    ShutdownGate(const ShutdownGate&) = delete;
    ShutdownGate& operator=(const ShutdownGate&) = delete;

    void BringToFront(std::intptr_t hWnd) override { m_system.BringToFront(hWnd); }
    // False while the secondaries are waited for; afterwards the system's answer.
    bool ShutdownWindows() override;

    bool waiting() const { return m_state == State::Waiting; }

    // Runs when a power-off requested at the end of the wait has been accepted: the
    // program then ends as it does after an accepted request.
    std::function<void()> OnAccepted;

private:
    enum class State { Idle, Waiting, Released };
    void release();

    ModApi& m_system;
    NutUps& m_ups;
    Timer& m_timer;
    State m_state = State::Idle;
};

} // namespace corvolt::net
