#pragma once

#include "net/NutPrimary.h"
#include "net/NutSession.h"
#include "platform/qt/NutServer.h"
#include "platform/qt/QtTimer.h"

#include <QString>

#include <functional>
#include <memory>

class Log;
struct NutServerConfig;

// This machine's UPS served to other machines over NUT: the server listening on the
// configured addresses, fed by the monitor's events, and the gate that holds this
// machine's power-off until the secondaries have gone.
class NetworkUps {
public:
    // The configuration file's path; CORVOLT_TEST_NUT_SERVER_CONF replaces it for tests.
    static QString ConfigPath();
    // Starts the server the file at path configures; none when there is no file, or when
    // it is refused (the reason goes to log). An address that cannot be listened on is
    // logged; the others listen all the same.
    static std::unique_ptr<NetworkUps> Start(const QString& path, ModApi& system, Log& log);

    NetworkUps(const NutServerConfig& config, ModApi& system, Log& log);
    NetworkUps(const NetworkUps&) = delete;
    NetworkUps& operator=(const NetworkUps&) = delete;

    MonitorEvents& Events() { return m_feed; }
    // The power-off as this machine must ask for it while it serves secondaries.
    corvolt::net::ShutdownGate& Gate() { return m_gate; }

private:
    corvolt::net::NutUps m_ups;
    NutServer m_server;
    corvolt::net::NutFeed m_feed{m_ups};
    QtTimer m_timer;
    corvolt::net::ShutdownGate m_gate;
};
