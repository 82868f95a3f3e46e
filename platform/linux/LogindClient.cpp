#include "platform/linux/LogindClient.h"

#include <QDBusMessage>

#include <utility>

LogindClient::LogindClient(QString connectionName, int timeoutMs)
    : m_name(std::move(connectionName)), m_timeoutMs(timeoutMs) {}

LogindClient::~LogindClient() {
    QDBusConnection::disconnectFromBus(m_name);
}

PowerOffPermission LogindClient::CanPowerOff() {
    const QDBusMessage reply = Call(QStringLiteral("CanPowerOff"), {});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return PowerOffPermission::Unreachable;
    const QString answer = reply.signature() == QLatin1String("s")
                               ? reply.arguments().constFirst().toString()
                               : QString();
    return answer == QLatin1String("yes") || answer == QLatin1String("challenge")
               ? PowerOffPermission::Allowed
               : PowerOffPermission::Refused;
}

bool LogindClient::PowerOff() {
    return Call(QStringLiteral("PowerOff"), {false}).type() == QDBusMessage::ReplyMessage;
}

QDBusMessage LogindClient::Call(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    call.setArguments(arguments);
    QDBusMessage reply = Connection().call(call, QDBus::Block, m_timeoutMs);
    // The bus may have gone since the last call without the connection knowing yet.
    if (reply.type() == QDBusMessage::ErrorMessage && !QDBusConnection(m_name).isConnected())
        reply = Connection().call(call, QDBus::Block, m_timeoutMs);
    return reply;
}

QDBusConnection LogindClient::Connection() {
    QDBusConnection bus(m_name);
    if (bus.isConnected())
        return bus;
    // A named connection stays registered after it is lost; only a new one reaches the bus.
    QDBusConnection::disconnectFromBus(m_name);
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_name);
}
