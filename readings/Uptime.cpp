#include "readings/Uptime.h"

#include "readings/NumberText.h"

namespace {
constexpr std::uint32_t kMsPerMinute = 60000;
constexpr std::uint32_t kMsPerHour = 3600000;
} // namespace

std::string UptimeText(std::uint32_t ticks, const std::string& systemName) {
    const std::uint32_t hours = ticks / kMsPerHour;
    const std::uint32_t minutes = ticks % kMsPerHour / kMsPerMinute;

    std::string text = " Sesión en " + systemName + " : ";
    if (hours != 0) {
        text += FormatHours(hours) + " hrs : ";
    }
    if (minutes != 0) {
        text += FormatMinutes(minutes) + " mins";
    }
    return text;
}
