#pragma once

#include "net/NutSession.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <sys/types.h>

#include <optional>

// What the administrator allows for the NUT server (an INI file read with QSettings).
struct NutServerConfig {
    QList<QHostAddress> listen{QHostAddress(QHostAddress::LocalHost)};
    quint16 port = 3493;
    corvolt::net::NutSettings settings;
};

// Reads the configuration file at path. No file: neither a configuration nor a refusal.
// A refusal (one line: why) when the file is not owned by `owner` (root), is writable by
// group or others, is readable by others while it holds a password, or has an unknown key or
// a bad value.
struct NutServerConfigResult {
    std::optional<NutServerConfig> config;
    QString refusal;
};
NutServerConfigResult ReadNutServerConfig(const QString& path, uid_t owner = 0);
