#include "platform/linux/PowerOffWorker.h"

PowerOffWorker::PowerOffWorker(PowerOffService& service, std::chrono::milliseconds wait)
    : m_service(service), m_wait(wait), m_thread([this] { Run(); }) {}

PowerOffWorker::~PowerOffWorker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool PowerOffWorker::Request() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_accepted)
        return true;
    if (AttemptUnderWay())
        return false;
    m_attemptWanted = true;
    m_wake.notify_one();
    m_attempted.wait_for(lock, m_wait, [this] { return !AttemptUnderWay(); });
    return m_accepted;
}

void PowerOffWorker::Check(CheckDone done) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_checkDone = std::move(done);
    if (!m_checkRunning) {
        m_checkWanted = true;
        m_wake.notify_one();
    }
}

void PowerOffWorker::ForgetCheck() {
    // The callback runs under the mutex, so once it is held no callback is running.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_checkDone = nullptr;
}

void PowerOffWorker::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_attemptWanted || m_checkWanted; });
        if (m_quit)
            return;
        // A power-off attempt goes before a check: it is what the monitor is for.
        if (m_attemptWanted) {
            m_attemptWanted = false;
            m_attemptRunning = true;
            lock.unlock();
            const bool accepted =
                m_service.CanPowerOff() == PowerOffPermission::Allowed && m_service.PowerOff();
            lock.lock();
            m_attemptRunning = false;
            m_accepted = m_accepted || accepted;
            m_attempted.notify_all();
        } else {
            m_checkWanted = false;
            m_checkRunning = true;
            lock.unlock();
            const PowerOffPermission answer = m_service.CanPowerOff();
            lock.lock();
            m_checkRunning = false;
            if (m_checkDone) {
                const CheckDone done = std::move(m_checkDone);
                m_checkDone = nullptr;
                done(answer);
            }
        }
    }
}
