#pragma once

#include "platform/Notice.h"

#include <QDBusConnection>
#include <QObject>

class QDBusPendingCallWatcher;

// A Notice over the desktop's notification service (org.freedesktop.Notifications on the
// session bus). The calls are asynchronous: Show sends Notify, and a Withdraw that comes
// before Notify has answered closes the notification as soon as its id is known.
class DesktopNotice final : public Notice {
public:
    enum class Urgency : uchar { Low = 0, Normal = 1, Critical = 2 };
    // The bus is looked up at each call; the tests put a private bus in its place.
    using BusProvider = QDBusConnection (*)();

    explicit DesktopNotice(Urgency urgency, BusProvider bus = &QDBusConnection::sessionBus);
    void Show(const std::string& text) override;
    void Withdraw() override;

private:
    void Answered(QDBusPendingCallWatcher& watcher);
    void Close();

    enum class State { Hidden, Asked, Shown };
    const Urgency m_urgency;
    const BusProvider m_bus;
    State m_state = State::Hidden;
    bool m_wanted = false; // the notice should be on screen
    uint m_id = 0;         // the service's id while Shown
    QObject m_calls;       // parent of the pending calls: none answers after destruction
};
