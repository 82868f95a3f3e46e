#include "platform/linux/ProcessInstance.h"

#include <QDir>
#include <QGuiApplication>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Turns SIGTERM, SIGHUP and SIGINT into a readable byte on a pipe, so that the request to
// end is handled on the GUI thread like any other event.
int WatchTerminationSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
    return signalPipe[0];
}
} // namespace

ProcessInstance::ProcessInstance() : ProcessInstance(DefaultLockPaths()) {}

QStringList ProcessInstance::DefaultLockPaths() {
    QStringList paths;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        paths << runtime + QStringLiteral("/corvolt.lock");
    // The temporary folder is shared between users: the name carries the user's id.
    paths << QDir::tempPath() + QStringLiteral("/corvolt-%1.lock").arg(::getuid());
    return paths;
}

ProcessInstance::ProcessInstance(const QStringList& lockPaths) : m_lockPaths(lockPaths) {
    const auto terminate = [this] {
        if (OnTerminate)
            OnTerminate();
    };
    // The session manager's commitDataRequest comes for every session save and for a
    // logout that may still be cancelled, so it is not a reason to stop watching the UPS.
    // The session really ending closes the window, quits the application or sends a signal.
    m_quitConnection = QObject::connect(qGuiApp, &QGuiApplication::aboutToQuit, terminate);
    const int readEnd = WatchTerminationSignals();
    if (readEnd >= 0) {
        m_signalNotifier = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
        QObject::connect(m_signalNotifier.get(), &QSocketNotifier::activated, terminate);
    }
}

ProcessInstance::~ProcessInstance() {
    QObject::disconnect(m_quitConnection);
}

bool ProcessInstance::PrevInstance() {
    for (const QString& path : m_lockPaths) {
        auto lock = std::make_unique<QLockFile>(path);
        // Only a holder that is no longer running makes the lock stale, however old it is.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            m_lock = std::move(lock);
            return false;
        }
        if (lock->error() == QLockFile::LockFailedError)
            return true;
        // This folder cannot hold the lock (missing, read-only, full): try the next one.
    }
    throw std::runtime_error("the instance lock cannot be made");
}

void ProcessInstance::EndProcess() {
    if (m_lock)
        m_lock->unlock();
    std::fflush(nullptr);
    // Nothing of the program may run after this point: no destructor, no event.
    std::_Exit(0);
}
