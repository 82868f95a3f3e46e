// Power-off through logind, against a private dbus-daemon that carries a fake
// org.freedesktop.login1 served from a thread of this process.
#include "platform/MessageBoxes.h"
#include "platform/linux/LogindClient.h"
#include "platform/linux/ModApiLinux.h"

#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

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
        s_bus = new PrivateBus;
        // ModApiLinux's system bus is this one.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", s_bus->Address().toUtf8());
        s_thread = new ServiceThread;
        s_fake = new FakeLogind;
        s_fake->moveToThread(s_thread);
        StartBus();
    }

    // The daemon, the fake on it and the test's client connection.
    static void StartBus() {
        ASSERT_TRUE(s_bus->Start()) << "dbus-daemon is not installed or did not start";
        ASSERT_TRUE(Serve(s_bus->Address(), FakeName, s_fake,
                          QStringLiteral("/org/freedesktop/login1"), Service));
        ASSERT_TRUE(QDBusConnection::connectToBus(s_bus->Address(), ClientName).isConnected());
        s_ready = true;
    }

    static void StopBus() {
        s_ready = false;
        QDBusConnection::disconnectFromBus(ClientName);
        QDBusConnection::disconnectFromBus(FakeName);
        s_bus->Stop();
    }

    void SetUp() override { ASSERT_TRUE(s_ready) << "the private bus could not be set up"; }

    static void TearDownTestSuite() {
        StopBus();
        delete s_thread;
        delete s_fake;
        delete s_bus;
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

    static inline PrivateBus* s_bus = nullptr;
    static inline ServiceThread* s_thread = nullptr;
    static inline FakeLogind* s_fake = nullptr;
    static inline bool s_ready = false;
};

// The client on the system bus, which is the private bus of this test.
std::unique_ptr<PowerOffService> SystemLogind(const char* connection, int timeoutMs) {
    return std::make_unique<LogindClient>(QString::fromLatin1(connection), timeoutMs);
}

TEST_F(Logind, PowersOffOnlyWhenAllowed) {
    struct Case {
        const char* canPowerOff;
        bool powerOffFails;
        bool expected;
        int powerOffCalls;
    };
    const Case cases[] = {
        {"yes", false, true, 1},       {"yes", true, false, 1}, {"challenge", false, true, 1},
        {"challenge", true, false, 1}, {"no", false, false, 0}, {"na", false, false, 0},
        {"", false, false, 0},
    };
    FailingBoxes boxes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canPowerOff);
        SCOPED_TRACE(c.powerOffFails);
        // A new ModApi for each case: one that has been accepted stays accepted.
        ModApiLinux api(boxes, SystemLogind("logind-test-modapi", LogindReplyTimeoutMs));
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

TEST_F(Logind, NoService) {
    FailingBoxes boxes;
    QDBusConnection fakeBus(FakeName);
    ASSERT_TRUE(fakeBus.unregisterService(Service));
    s_fake->Set({});
    EXPECT_FALSE(ModApiLinux(boxes).ShutdownWindows());
    ASSERT_TRUE(fakeBus.registerService(Service));
    EXPECT_EQ(Received().canPowerOffCalls, 0);
}

TEST_F(Logind, SilentServiceTimesOut) {
    FailingBoxes boxes;
    s_fake->Set({QStringLiteral("yes"), false, true});
    QElapsedTimer clock;
    clock.start();
    // The call gives up before the window stops waiting for it: the answer is its own.
    EXPECT_FALSE(
        ModApiLinux(boxes, SystemLogind("logind-test-silent", 300), std::chrono::milliseconds(2000))
            .ShutdownWindows());
    // Qt's own default would wait 25 s.
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(Received().powerOffCalls, 0);
}

// The program's own ModApi finds logind on the system bus.
TEST_F(Logind, ModApiUsesTheSystemBus) {
    FailingBoxes boxes;
    s_fake->Set({});
    EXPECT_TRUE(ModApiLinux(boxes).ShutdownWindows());
    EXPECT_EQ(Received().powerOffCalls, 1);
}

TEST_F(Logind, ClientTakesChallengeAsAllowed) {
    struct Case {
        const char* canPowerOff;
        bool silent;
        PowerOffPermission expected;
    };
    const Case cases[] = {
        {"yes", false, PowerOffPermission::Allowed},
        {"challenge", false, PowerOffPermission::Allowed},
        {"no", false, PowerOffPermission::Refused},
        {"na", false, PowerOffPermission::Refused},
        {"", false, PowerOffPermission::Refused},
        {"yes", true, PowerOffPermission::Unreachable},
    };
    LogindClient client(QStringLiteral("logind-test-answers"), 300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canPowerOff);
        SCOPED_TRACE(c.silent);
        s_fake->Set({QString::fromLatin1(c.canPowerOff), false, c.silent});
        EXPECT_EQ(client.CanPowerOff(), c.expected);
        EXPECT_EQ(Received().canPowerOffCalls, 1);
    }

    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        s_fake->Set({QStringLiteral("challenge"), fails, false});
        EXPECT_EQ(client.PowerOff(), !fails);
        const FakeLogind::Record record = Received();
        EXPECT_EQ(record.powerOffCalls, 1);
        EXPECT_FALSE(record.lastInteractive);
    }

    QDBusConnection fakeBus(FakeName);
    ASSERT_TRUE(fakeBus.unregisterService(Service));
    EXPECT_EQ(client.CanPowerOff(), PowerOffPermission::Unreachable);
    EXPECT_FALSE(client.PowerOff());
    ASSERT_TRUE(fakeBus.registerService(Service));
}

// The attempt goes on on the worker thread after the window has stopped waiting for it,
// and ends with the call's own timeout.
TEST_F(Logind, HangingLogindHoldsTheRequestForTheWaitOnly) {
    s_fake->Set({QStringLiteral("yes"), false, true});
    LogindClient client(QStringLiteral("logind-test-hanging"), 500);
    PowerOffWorker worker(client, std::chrono::milliseconds(100));
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(worker.Request());
    EXPECT_GE(clock.elapsed(), 100);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(worker.Request());
    // Once logind answers again, a request after the timed-out call is accepted.
    s_fake->Set({QStringLiteral("yes"), false, false});
    bool accepted = false;
    for (int tries = 0; tries < 100 && !accepted; ++tries) {
        accepted = worker.Request();
        if (!accepted)
            QThread::msleep(50);
    }
    EXPECT_TRUE(accepted);
    EXPECT_EQ(Received().powerOffCalls, 1);
}

// Last: the restart leaves QDBusConnection::systemBus() of this process disconnected.
TEST_F(Logind, ClientConnectsAfreshAfterTheBusRestarts) {
    s_fake->Set({});
    LogindClient client(QStringLiteral("logind-test-restart"));
    ASSERT_TRUE(client.PowerOff());
    StopBus();
    EXPECT_EQ(client.CanPowerOff(), PowerOffPermission::Unreachable);
    EXPECT_FALSE(client.PowerOff());
    StartBus();
    ASSERT_TRUE(s_ready);
    s_fake->Set({QStringLiteral("challenge"), false, false});
    EXPECT_EQ(client.CanPowerOff(), PowerOffPermission::Allowed);
    EXPECT_TRUE(client.PowerOff());
    EXPECT_EQ(Received().powerOffCalls, 1);
}

} // namespace

#include "test_logind.moc"
