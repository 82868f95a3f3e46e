#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// What the system answers when asked whether this user may power off now.
enum class PowerOffPermission {
    Allowed,     // allowed at once, or after a polkit check that a rule may grant
    Refused,     // not allowed, or not available on this machine
    Unreachable, // the service could not be asked, or did not answer in time
};

// A power-off service whose calls block until it answers or a timeout of their own ends.
class PowerOffService {
public:
    virtual ~PowerOffService() = default;
    virtual PowerOffPermission CanPowerOff() = 0;
    // Asks for the power-off without any dialog; true when the request was accepted.
    virtual bool PowerOff() = 0;
};

// How long a power-off request holds its caller at most (the window's thread).
constexpr std::chrono::milliseconds PowerOffWait{500};

// Runs the calls of a PowerOffService on a thread of its own, so that a service that hangs
// holds the caller for a bounded time only. One power-off attempt is made at a time.
class PowerOffWorker {
public:
    using CheckDone = std::function<void(PowerOffPermission)>;

    explicit PowerOffWorker(PowerOffService& service,
                            std::chrono::milliseconds wait = PowerOffWait);
    // Waits for the call under way, which ends with the service's own timeout.
    ~PowerOffWorker();
    PowerOffWorker(const PowerOffWorker&) = delete;
    PowerOffWorker& operator=(const PowerOffWorker&) = delete;

    // Starts an attempt (CanPowerOff, then PowerOff when allowed) and waits for its result
    // for the wait given at construction. True once an attempt has been accepted. False
    // when the attempt failed, when it is still under way after the wait (it goes on, and
    // a later call reports its result), and at once while an attempt is under way.
    bool Request();
    // Asks CanPowerOff on the worker thread and calls `done` there with the answer. A check
    // asked for while another is waiting or under way shares its answer: `done` replaces
    // the callback of the earlier call. `done` must not call the worker.
    void Check(CheckDone done);
    // No callback of an earlier Check runs after this returns.
    void ForgetCheck();

private:
    void Run();
    bool AttemptUnderWay() const { return m_attemptWanted || m_attemptRunning; }

    PowerOffService& m_service;
    const std::chrono::milliseconds m_wait;
    std::mutex m_mutex;
    std::condition_variable m_wake;      // work for the thread
    std::condition_variable m_attempted; // an attempt has ended
    bool m_attemptWanted = false;
    bool m_attemptRunning = false;
    bool m_accepted = false;
    bool m_checkWanted = false;
    bool m_checkRunning = false;
    CheckDone m_checkDone;
    bool m_quit = false;
    std::thread m_thread; // last: starts once the state above exists
};
