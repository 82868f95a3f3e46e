#pragma once

#include <QString>

#include <cstdint>

// Status-bar text for a tick count in milliseconds since the system started, e.g.
// " Sesión en Linux : 1 hrs : 23 mins". Hours or minutes that are zero are left out.
QString UptimeText(std::uint32_t ticks, const QString& systemName);
