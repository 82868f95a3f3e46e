#pragma once

#include "platform/linux/PowerOffWorker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// A power-off service that records its calls and whose CanPowerOff can be held.
class FakePowerOffService final : public PowerOffService {
public:
    struct Answer {
        PowerOffPermission permission;
        bool accepted; // by PowerOff
    };

    explicit FakePowerOffService(Answer answer = {PowerOffPermission::Allowed, true})
        : m_answer(answer) {}

    // The next CanPowerOff waits until Release, and then answers what Release says; the
    // calls after it answer what the constructor says.
    void Hold() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = true;
    }
    void Release(PowerOffPermission permission) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released = permission;
            m_held = false;
        }
        m_changed.notify_all();
    }
    // Waits until CanPowerOff has been called `count` times.
    bool AwaitCanCalls(int count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_canCalls >= count; });
    }
    int CanCalls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_canCalls;
    }
    int PowerOffCalls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_powerOffCalls;
    }

    PowerOffPermission CanPowerOff() override {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_canCalls;
        m_changed.notify_all();
        if (!m_held)
            return m_answer.permission;
        m_changed.wait(lock, [this] { return !m_held; });
        return m_released;
    }
    bool PowerOff() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_powerOffCalls;
        return m_answer.accepted;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const Answer m_answer;
    bool m_held = false;
    PowerOffPermission m_released = PowerOffPermission::Unreachable;
    int m_canCalls = 0;
    int m_powerOffCalls = 0;
};
