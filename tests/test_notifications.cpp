// Desktop notifications against a fake org.freedesktop.Notifications on a private bus, and
// the two observers that use them: the mains-failure notice and the power-off pre-flight.
#include "platform/linux/DesktopNotice.h"
#include "platform/linux/DesktopWarnings.h"

#include "PrivateBus.h"
#include "fakes/FakePowerOffService.h"

#include <QCoreApplication>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString ClientName = QStringLiteral("notifications-test-client");
const QString FakeName = QStringLiteral("notifications-test-fake");

// The desktop's notification service, as far as the monitor uses it.
class FakeNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification {
        QString appName, appIcon, summary, body;
        uint replacesId;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout;
        uint id;
    };

    std::vector<Notification> Notified() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notified;
    }
    std::vector<uint> Closed() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notified.clear();
        m_closed.clear();
    }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notified.push_back({appName, appIcon, summary, body, replacesId, actions, hints,
                              expireTimeout, ++m_lastId});
        return m_lastId;
    }
    void CloseNotification(uint id) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed.push_back(id);
    }
    // Answered after every call sent before it, so a test can tell that none is pending.
    void Ping() {}

private:
    std::mutex m_mutex;
    std::vector<Notification> m_notified;
    std::vector<uint> m_closed;
    uint m_lastId = 40;
};

class Notifications : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_bus = new PrivateBus;
        s_thread = new ServiceThread;
        s_fake = new FakeNotifications;
        s_fake->moveToThread(s_thread);
        ASSERT_TRUE(s_bus->Start()) << "dbus-daemon is not installed or did not start";
        ASSERT_TRUE(Serve(s_bus->Address(), FakeName, s_fake,
                          QStringLiteral("/org/freedesktop/Notifications"), Service));
        ASSERT_TRUE(QDBusConnection::connectToBus(s_bus->Address(), ClientName).isConnected());
        s_ready = true;
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(ClientName);
        QDBusConnection::disconnectFromBus(FakeName);
        delete s_bus;
        delete s_thread;
        delete s_fake;
    }
    void SetUp() override {
        ASSERT_TRUE(s_ready) << "the private bus could not be set up";
        s_fake->Clear();
    }

    static QDBusConnection Client() { return QDBusConnection(ClientName); }

    // Lets the client's answers arrive.
    static void ProcessEvents() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // Lets the client's answers arrive, then waits until the fake has handled every call.
    static void Settle() {
        ProcessEvents();
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            Service, QStringLiteral("/org/freedesktop/Notifications"), Service,
            QStringLiteral("Ping"));
        EXPECT_EQ(Client().call(ping, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
    }

    static inline PrivateBus* s_bus = nullptr;
    static inline ServiceThread* s_thread = nullptr;
    static inline FakeNotifications* s_fake = nullptr;
    static inline bool s_ready = false;
};

TEST_F(Notifications, ShownWithItsUrgencyAndWithdrawn) {
    DesktopNotice notice(DesktopNotice::Urgency::Critical, &Client);
    notice.Show(MainsFailureNoticeText);
    notice.Show(MainsFailureNoticeText); // already shown: no second one
    Settle();
    std::vector<FakeNotifications::Notification> notified = s_fake->Notified();
    ASSERT_EQ(notified.size(), 1u);
    const FakeNotifications::Notification& n = notified[0];
    EXPECT_EQ(n.appName, QStringLiteral("Orvane Corvolt"));
    EXPECT_EQ(n.appIcon, QStringLiteral("corvolt"));
    EXPECT_EQ(n.summary.toStdString(),
              "Falla de línea: funcionamiento con baterías. Guarde su trabajo.");
    EXPECT_EQ(n.body, QString());
    EXPECT_EQ(n.replacesId, 0u);
    EXPECT_TRUE(n.actions.isEmpty());
    EXPECT_EQ(n.expireTimeout, 0);
    // The specification of the service wants the urgency as a byte.
    const QVariant urgency = n.hints.value(QStringLiteral("urgency"));
    EXPECT_EQ(urgency.metaType(), QMetaType::fromType<uchar>());
    EXPECT_EQ(urgency.value<uchar>(), 2);
    EXPECT_EQ(n.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("corvolt"));
    EXPECT_TRUE(s_fake->Closed().empty());

    notice.Withdraw();
    notice.Withdraw();
    Settle();
    EXPECT_EQ(s_fake->Closed(), std::vector<uint>{n.id});
    // The next alarm shows it anew.
    notice.Show(MainsFailureNoticeText);
    Settle();
    notified = s_fake->Notified();
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_EQ(notified[1].replacesId, 0u);
}

// The alarm may clear before Notify has answered; what counts is the last wish.
TEST_F(Notifications, WithdrawnBeforeTheServiceAnswered) {
    struct Case {
        const char* calls;
        size_t notified;
        size_t closed;
    };
    const Case cases[] = {{"SW", 1, 1}, {"SWS", 1, 0}, {"SWSW", 1, 1}, {"W", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls);
        s_fake->Clear();
        DesktopNotice notice(DesktopNotice::Urgency::Normal, &Client);
        for (const char* call = c.calls; *call != '\0'; ++call) {
            if (*call == 'S')
                notice.Show("texto");
            else
                notice.Withdraw();
        }
        Settle();
        const std::vector<FakeNotifications::Notification> notified = s_fake->Notified();
        EXPECT_EQ(notified.size(), c.notified);
        EXPECT_EQ(s_fake->Closed().size(), c.closed);
        if (c.closed > 0) {
            EXPECT_EQ(s_fake->Closed()[0], notified[0].id);
        }
    }
}

TEST_F(Notifications, WithoutTheServiceNothingHappens) {
    QDBusConnection fakeBus(FakeName);
    ASSERT_TRUE(fakeBus.unregisterService(Service));
    DesktopNotice notice(DesktopNotice::Urgency::Critical, &Client);
    notice.Show(MainsFailureNoticeText);
    ProcessEvents();
    notice.Withdraw();
    ASSERT_TRUE(fakeBus.registerService(Service));
    Settle();
    EXPECT_TRUE(s_fake->Notified().empty());
    EXPECT_TRUE(s_fake->Closed().empty());
    // A service that has come since is used at the next alarm.
    notice.Show(MainsFailureNoticeText);
    Settle();
    EXPECT_EQ(s_fake->Notified().size(), 1u);
}

class RecordingNotice final : public Notice {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    void Withdraw() override { ++withdrawn; }
    std::vector<std::string> shown;
    int withdrawn = 0;
};

TEST(MainsFailureNotifier, ShowsWithTheRaisedWindowAndWithdrawsWhenCleared) {
    RecordingNotice notice;
    MainsFailureNotifier notifier(notice);
    notifier.MainsFailure();
    EXPECT_EQ(notice.shown, std::vector<std::string>{MainsFailureNoticeText});
    EXPECT_EQ(notice.withdrawn, 0);
    notifier.MainsRestored();
    EXPECT_EQ(notice.withdrawn, 1);
}

// Processes events until the notice has shown something or 5 s have passed.
void AwaitAnswers(const RecordingNotice& notice, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (notice.shown.empty() && clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(PowerOffPreflight, WarnsOncePerRunWhenThePowerOffWillFail) {
    struct Case {
        PowerOffPermission answer;
        const char* warning; // nullptr: none
    };
    const Case cases[] = {
        {PowerOffPermission::Allowed, nullptr},
        {PowerOffPermission::Refused,
         "Corvolt no podrá apagar el equipo: falta permiso de apagado"},
        {PowerOffPermission::Unreachable, "Corvolt no podrá apagar el equipo: no hay respuesta del "
                                          "servicio de apagado (systemd-logind)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        FakePowerOffService service({c.answer, true});
        PowerOffWorker worker(service);
        RecordingNotice warning;
        PowerOffPreflight preflight(worker, warning);
        preflight.Check();
        ASSERT_TRUE(service.AwaitCanCalls(1));
        // The answer comes through the event loop, never inside the call.
        EXPECT_TRUE(warning.shown.empty());
        AwaitAnswers(warning, c.warning ? 5000 : 300);
        // Every link-up asks again, but the warning comes once.
        preflight.LinkUp();
        ASSERT_TRUE(service.AwaitCanCalls(c.warning ? 1 : 2));
        AwaitAnswers(warning, 300);
        if (c.warning)
            EXPECT_EQ(warning.shown, std::vector<std::string>{c.warning});
        else
            EXPECT_TRUE(warning.shown.empty());
        EXPECT_EQ(service.PowerOffCalls(), 0);
    }
}

TEST(PowerOffPreflight, AnswerAfterItsEndIsDropped) {
    FakePowerOffService service({PowerOffPermission::Refused, true});
    service.Hold();
    PowerOffWorker worker(service);
    RecordingNotice warning;
    {
        PowerOffPreflight preflight(worker, warning);
        preflight.Check();
        ASSERT_TRUE(service.AwaitCanCalls(1));
    }
    service.Release(PowerOffPermission::Refused);
    AwaitAnswers(warning, 300);
    EXPECT_TRUE(warning.shown.empty());
}

} // namespace

#include "test_notifications.moc"
