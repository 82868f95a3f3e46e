#include "readings/Uptime.h"

#include "readings/NumberText.h"

namespace {
constexpr std::uint32_t kMsPerMinute = 60000;
constexpr std::uint32_t kMsPerHour = 3600000;
} // namespace

QString UptimeText(std::uint32_t ticks, const QString& systemName) {
    const std::uint32_t hours = ticks / kMsPerHour;
    const std::uint32_t minutes = ticks % kMsPerHour / kMsPerMinute;

    QString text = QStringLiteral(" Sesión en ") + systemName + QStringLiteral(" : ");
    if (hours != 0) {
        text += FormatHours(hours) + QStringLiteral(" hrs : ");
    }
    if (minutes != 0) {
        text += FormatMinutes(minutes) + QStringLiteral(" mins");
    }
    return text;
}
