#pragma once
// A dbus-daemon of the test's own, and fake services on it served from a thread of the
// test process.

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

#include <signal.h>
#include <sys/prctl.h>

// The daemon listens at a fixed address in a temporary folder, so that a restarted daemon
// is found where the old one was. It goes down with the test process, however that ends.
class PrivateBus {
public:
    QString Address() const {
        return QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
    }

    // False when dbus-daemon is missing or did not come up.
    bool Start() {
        m_daemon = std::make_unique<QProcess>();
        m_daemon->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon->start(QStringLiteral("dbus-daemon"),
                        {QStringLiteral("--session"), QStringLiteral("--nofork"),
                         QStringLiteral("--address=") + Address(),
                         QStringLiteral("--print-address=1")});
        if (!m_daemon->waitForStarted(5000))
            return false;
        while (!m_daemon->canReadLine() && m_daemon->waitForReadyRead(5000)) {
        }
        return QString::fromUtf8(m_daemon->readLine()).startsWith(Address());
    }

    void Stop() {
        if (m_daemon) {
            m_daemon->terminate();
            m_daemon->waitForFinished(5000);
        }
        m_daemon.reset();
    }

    ~PrivateBus() { Stop(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
};

// Exports the slots of `object` at `path` and owns `service`, on a new connection called
// `name`. The object's calls are handled on the thread it lives on.
inline bool Serve(const QString& address, const QString& name, QObject* object, const QString& path,
                  const QString& service) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    return bus.isConnected() && bus.registerObject(path, object, QDBusConnection::ExportAllSlots) &&
           bus.registerService(service);
}

// A thread for fake services, running its event loop from construction to destruction.
class ServiceThread : public QThread {
public:
    ServiceThread() { start(); }
    ~ServiceThread() override {
        quit();
        wait();
    }
};
