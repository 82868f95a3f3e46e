#pragma once

#include "platform/AppInstance.h"

#include <QMetaObject>
#include <QStringList>

#include <memory>

class QLockFile;
class QSocketNotifier;

// The running process: a lock file in the user's runtime folder marks the running
// instance (a stale lock left by a crashed instance is taken over at once); when that
// folder cannot hold it, the temporary folder does. SIGTERM,
// SIGHUP, SIGINT and the application quitting raise OnTerminate; a session save does not.
class ProcessInstance final : public AppInstance {
public:
    ProcessInstance();
    // Tries the lock files in this order; only one held by a live process means another
    // instance, one that cannot be created moves on to the next.
    explicit ProcessInstance(const QStringList& lockPaths);
    ~ProcessInstance() override;
    bool PrevInstance() override;

protected:
    [[noreturn]] void EndProcess() override;

private:
    static QStringList DefaultLockPaths();

    QStringList m_lockPaths;
    std::unique_ptr<QLockFile> m_lock;
    QMetaObject::Connection m_quitConnection;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
};
