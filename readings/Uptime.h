#pragma once

#include <cstdint>
#include <string>

// Status-bar text for a tick count in milliseconds since the system started, e.g.
// " Sesión en Linux : 1 hrs : 23 mins". Hours or minutes that are zero are left out.
std::string UptimeText(std::uint32_t ticks, const std::string& systemName);
