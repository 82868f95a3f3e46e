#include "platform/linux/ProcessInstance.h"

#include <QDir>
#include <QGuiApplication>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <cstdlib>

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

ProcessInstance::ProcessInstance() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(folder + QStringLiteral("/corvolt.lock"));
    // Only a holder that is no longer running makes the lock stale, however old it is.
    m_lock->setStaleLockTime(0);

    const auto terminate = [this] {
        if (OnTerminate)
            OnTerminate();
    };
    // The session manager asks before a logout.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, terminate);
    const int readEnd = WatchTerminationSignals();
    if (readEnd >= 0) {
        m_signalNotifier = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
        QObject::connect(m_signalNotifier.get(), &QSocketNotifier::activated, terminate);
    }
}

ProcessInstance::~ProcessInstance() = default;

bool ProcessInstance::PrevInstance() {
    return !m_lock->tryLock(0);
}

void ProcessInstance::EndProcess() {
    m_lock->unlock();
    std::fflush(nullptr);
    // Nothing of the program may run after this point: no destructor, no event.
    std::_Exit(0);
}
