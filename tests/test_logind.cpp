// Power-off through logind, against a private dbus-daemon that carries a fake
// org.freedesktop.login1 served from a thread of this process.
#include "platform/MessageBoxes.h"
#include "platform/System.h"
#include "platform/linux/ModApiLinux.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include <signal.h>
#include <sys/prctl.h>

namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString ClientName = QStringLiteral("logind-test-client");
const QString FakeName = QStringLiteral("logind-test-fake");

// systemd-logind's manager, as far as the monitor uses it.
class FakeLogind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    struct Behaviour {
        QString canPowerOff = QStringLiteral("yes");
        bool powerOffFails = false;
        bool silent = false; // CanPowerOff never answers
    };
    struct Record {
        int canPowerOffCalls = 0;
        int powerOffCalls = 0;
        bool lastInteractive = true;
    };

    void Set(const Behaviour& behaviour) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_behaviour = behaviour;
        m_record = Record{};
    }
    Record Recorded() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_record;
    }

public slots:
    QString CanPowerOff() {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_record.canPowerOffCalls;
        if (m_behaviour.silent) {
            setDelayedReply(true);
            return {};
        }
        return m_behaviour.canPowerOff;
    }
    void PowerOff(bool interactive) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_record.powerOffCalls;
        m_record.lastInteractive = interactive;
        if (m_behaviour.powerOffFails) {
            sendErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
                QStringLiteral("Interactive authentication required."));
        }
    }
    // Answered after every call sent before it, so a test can tell that none is pending.
    void Ping() {}

private:
    std::mutex m_mutex;
    Behaviour m_behaviour;
    Record m_record;
};

class FailingBoxes final : public MessageBoxes {
public:
    int MsgBox(const std::string& prompt, int, const std::string&) override {
        ADD_FAILURE() << "unexpected message box: " << prompt;
        return vb::OK;
    }
};

class Logind : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_daemon = new QProcess;
        // The daemon goes down with this process, however the process ends.
        s_daemon->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        s_daemon->start(QStringLiteral("dbus-daemon"),
                        {QStringLiteral("--session"), QStringLiteral("--nofork"),
                         QStringLiteral("--print-address=1")});
        ASSERT_TRUE(s_daemon->waitForStarted(5000)) << "dbus-daemon is not installed";
        while (!s_daemon->canReadLine() && s_daemon->waitForReadyRead(5000)) {
        }
        const QString address = QString::fromUtf8(s_daemon->readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        // CreateModApi's system bus is this one.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());

        s_thread = new QThread;
        s_thread->start();
        s_fake = new FakeLogind;
        s_fake->moveToThread(s_thread);
        QDBusConnection fakeBus = QDBusConnection::connectToBus(address, FakeName);
        ASSERT_TRUE(fakeBus.isConnected());
        ASSERT_TRUE(fakeBus.registerObject(QStringLiteral("/org/freedesktop/login1"), s_fake,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(fakeBus.registerService(Service));
        ASSERT_TRUE(QDBusConnection::connectToBus(address, ClientName).isConnected());
        s_ready = true;
    }

    void SetUp() override { ASSERT_TRUE(s_ready) << "the private bus could not be set up"; }

    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(ClientName);
        QDBusConnection::disconnectFromBus(FakeName);
        if (s_thread != nullptr) {
            s_thread->quit();
            s_thread->wait();
        }
        delete s_fake;
        delete s_thread;
        if (s_daemon != nullptr) {
            s_daemon->terminate();
            s_daemon->waitForFinished(5000);
        }
        delete s_daemon;
    }

    static QDBusConnection Client() { return QDBusConnection(ClientName); }

    // What the fake received, once every call sent to it has been handled.
    static FakeLogind::Record Received() {
        QDBusMessage ping = QDBusMessage::createMethodCall(
            Service, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Ping"));
        EXPECT_EQ(Client().call(ping, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        return s_fake->Recorded();
    }

    static inline QProcess* s_daemon = nullptr;
    static inline QThread* s_thread = nullptr;
    static inline FakeLogind* s_fake = nullptr;
    static inline bool s_ready = false;
};

TEST_F(Logind, PowersOffOnlyWhenAllowed) {
    struct Case {
        const char* canPowerOff;
        bool powerOffFails;
        bool expected;
        int powerOffCalls;
    };
    const Case cases[] = {
        {"yes", false, true, 1}, {"yes", true, false, 1}, {"challenge", false, false, 0},
        {"no", false, false, 0}, {"na", false, false, 0}, {"", false, false, 0},
    };
    FailingBoxes boxes;
    ModApiLinux api(boxes, [] { return Client(); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canPowerOff);
        SCOPED_TRACE(c.powerOffFails);
        s_fake->Set({QString::fromLatin1(c.canPowerOff), c.powerOffFails, false});
        EXPECT_EQ(api.ShutdownWindows(), c.expected);
        const FakeLogind::Record record = Received();
        EXPECT_EQ(record.canPowerOffCalls, 1);
        EXPECT_EQ(record.powerOffCalls, c.powerOffCalls);
        if (c.powerOffCalls > 0) {
            EXPECT_FALSE(record.lastInteractive);
        }
    }
}

TEST_F(Logind, NoServiceOrNoBus) {
    FailingBoxes boxes;
    QDBusConnection fakeBus(FakeName);
    ASSERT_TRUE(fakeBus.unregisterService(Service));
    s_fake->Set({});
    EXPECT_FALSE(ModApiLinux(boxes, [] { return Client(); }).ShutdownWindows());
    ASSERT_TRUE(fakeBus.registerService(Service));
    EXPECT_EQ(Received().canPowerOffCalls, 0);

    const QString noBus = QStringLiteral("logind-test-nobus");
    ASSERT_FALSE(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), noBus)
                     .isConnected());
    EXPECT_FALSE(RequestPowerOff(QDBusConnection(noBus)));
    QDBusConnection::disconnectFromBus(noBus);
}

TEST_F(Logind, SilentServiceTimesOut) {
    s_fake->Set({QStringLiteral("yes"), false, true});
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(RequestPowerOff(Client(), 300));
    // Qt's own default would wait 25 s.
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(Received().powerOffCalls, 0);
}

// The program's own ModApi finds logind on the system bus.
TEST_F(Logind, CreateModApiUsesTheSystemBus) {
    FailingBoxes boxes;
    s_fake->Set({});
    EXPECT_TRUE(CreateModApi(boxes)->ShutdownWindows());
    EXPECT_EQ(Received().powerOffCalls, 1);
}

} // namespace

#include "test_logind.moc"
