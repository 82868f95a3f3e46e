#include "platform/linux/DesktopNotice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

QDBusMessage NotificationCall(const QString& method, const QVariantList& arguments) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                       QStringLiteral("/org/freedesktop/Notifications"),
                                       QStringLiteral("org.freedesktop.Notifications"), method);
    call.setArguments(arguments);
    return call;
}

} // namespace

DesktopNotice::DesktopNotice(Urgency urgency, BusProvider bus) : m_urgency(urgency), m_bus(bus) {}

void DesktopNotice::Show(const std::string& text) {
    m_wanted = true;
    if (m_state != State::Hidden)
        return;
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(m_urgency))},
        {QStringLiteral("desktop-entry"), QStringLiteral("corvolt")},
    };
    // No replaced id, no actions; expire timeout 0: it stays until withdrawn or dismissed.
    const QDBusMessage notify =
        NotificationCall(QStringLiteral("Notify"),
                         {QStringLiteral("Orvane Corvolt"), 0u, QStringLiteral("corvolt"),
                          QString::fromStdString(text), QString(), QStringList(), hints, 0});
    auto* watcher = new QDBusPendingCallWatcher(m_bus().asyncCall(notify), &m_calls);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_calls,
                     [this](QDBusPendingCallWatcher* w) { Answered(*w); });
    m_state = State::Asked;
}

void DesktopNotice::Withdraw() {
    m_wanted = false;
    if (m_state == State::Shown)
        Close();
}

void DesktopNotice::Answered(QDBusPendingCallWatcher& watcher) {
    const QDBusPendingReply<uint> reply = watcher;
    watcher.deleteLater();
    if (reply.isError()) {
        m_state = State::Hidden; // no notification service: the window alone tells the user
        return;
    }
    m_id = reply.value();
    m_state = State::Shown;
    if (!m_wanted)
        Close();
}

void DesktopNotice::Close() {
    // The answer does not matter: a notification the user dismissed is gone already.
    m_bus().asyncCall(NotificationCall(QStringLiteral("CloseNotification"), {m_id}));
    m_state = State::Hidden;
    m_id = 0;
}
