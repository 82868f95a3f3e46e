#pragma once

#include "platform/linux/PowerOffWorker.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantList>

class QDBusMessage;

// Longest wait for each call to logind, in milliseconds.
constexpr int LogindReplyTimeoutMs = 2000;

// systemd-logind's power-off over the system bus, on a connection of its own under the
// given name. A connection that has gone (the bus was restarted) is replaced by a fresh one:
// before a call when it is known to be gone, and once more when a call finds it gone.
// CanPowerOff "yes" and "challenge" count as allowed: "challenge" is what logind says when
// polkit would ask for a password (other sessions open, an inhibitor), which the package's
// polkit rule grants to dialout members at the machine; where it is not granted, PowerOff
// fails. Its calls block; use it from one thread at a time.
class LogindClient final : public PowerOffService {
public:
    explicit LogindClient(QString connectionName = QStringLiteral("corvolt-logind"),
                          int timeoutMs = LogindReplyTimeoutMs);
    ~LogindClient() override;
    LogindClient(const LogindClient&) = delete;
    LogindClient& operator=(const LogindClient&) = delete;

    PowerOffPermission CanPowerOff() override;
    // PowerOff(false): never an authentication dialog; refused where one would be needed.
    bool PowerOff() override;

private:
    QDBusMessage Call(const QString& method, const QVariantList& arguments);
    QDBusConnection Connection();

    const QString m_name;
    const int m_timeoutMs;
};
