#pragma once

#include <cstdlib>
#include <functional>

// The process as a whole: whether another instance runs, requests from outside to end
// (the end of the session, a termination signal), and ending at once.
class AppInstance {
public:
    virtual ~AppInstance() = default;
    // True when another instance of the monitor runs for the same user. Throws
    // std::runtime_error when that cannot be told (the instance lock cannot be made).
    virtual bool PrevInstance() = 0;
    // Ends the process at once; nothing of the program runs afterwards.
    [[noreturn]] void End() {
        EndProcess();
        std::abort(); // EndProcess must not return; never carry on after an unload
    }

    // Raised when the system asks the program to end (end of session, SIGTERM...).
    std::function<void()> OnTerminate;

protected:
    virtual void EndProcess() = 0;
};
