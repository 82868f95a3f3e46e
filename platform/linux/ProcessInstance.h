#pragma once

#include "platform/AppInstance.h"

#include <memory>

class QLockFile;
class QSocketNotifier;

// The running process: a lock file in the user's runtime folder marks the running
// instance (a stale lock left by a crashed instance is taken over at once). SIGTERM,
// SIGHUP, SIGINT and the session manager's logout request raise OnTerminate.
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
