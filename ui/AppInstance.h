#pragma once

#include <cstdlib>
#include <functional>
#include <memory>

class QLockFile;
class QSocketNotifier;

// The process as a whole: whether another instance runs, requests from outside to end
// (a session logout or a termination signal), and ending at once.
class AppInstance {
public:
    virtual ~AppInstance() = default;
    // True when another instance of the monitor runs for the same user.
    virtual bool PrevInstance() = 0;
    // Ends the process at once; nothing of the program runs afterwards.
    [[noreturn]] void End() {
        EndProcess();
        std::abort(); // EndProcess must not return; never carry on after an unload
    }

    // Raised when the system asks the program to end (logout, SIGTERM, SIGHUP, SIGINT).
    std::function<void()> OnTerminate;

protected:
    virtual void EndProcess() = 0;
};

// The running process: a lock file in the user's runtime folder marks the running
// instance (a stale lock left by a crashed instance is taken over at once).
class ProcessInstance final : public AppInstance {
public:
    ProcessInstance();
    ~ProcessInstance() override;
    bool PrevInstance() override;

protected:
    [[noreturn]] void EndProcess() override;

private:
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
};
