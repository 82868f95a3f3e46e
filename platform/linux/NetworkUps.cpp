#include "platform/linux/NetworkUps.h"

#include "platform/Log.h"
#include "platform/linux/NutServerConfig.h"

QString NetworkUps::ConfigPath() {
    return qEnvironmentVariable("CORVOLT_TEST_NUT_SERVER_CONF",
                                QStringLiteral("/etc/corvolt/nut-server.conf"));
}

std::unique_ptr<NetworkUps> NetworkUps::Start(const QString& path, ModApi& system, Log& log) {
    const NutServerConfigResult read = ReadNutServerConfig(path);
    if (!read.config) {
        if (!read.refusal.isEmpty())
            log.Warning("Corvolt: NUT server not started: " + read.refusal.toStdString());
        return nullptr;
    }
    return std::make_unique<NetworkUps>(*read.config, system, log);
}

NetworkUps::NetworkUps(const NutServerConfig& config, ModApi& system, Log& log)
    : m_ups(config.settings), m_server(m_ups), m_gate(system, m_ups, m_timer) {
    for (const QHostAddress& address : config.listen) {
        QString error;
        if (!m_server.listen(address, config.port, &error))
            log.Warning("Corvolt: NUT server cannot listen on " + address.toString().toStdString() +
                        " port " + std::to_string(config.port) + ": " + error.toStdString());
    }
}
