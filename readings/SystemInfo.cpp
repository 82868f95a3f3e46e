#include "readings/SystemInfo.h"

#include <QLocale>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

std::uint32_t SystemTickCounter::GetTickCount() {
#ifdef _WIN32
    return ::GetTickCount();
#else
    // CLOCK_BOOTTIME keeps counting through suspend, like the Windows counter; the
    // millisecond count is cut to 32 bits so that it wraps the same way.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
#endif
}

QString SystemNumberLocale::decimalSeparator() const {
    return QLocale::system().decimalPoint();
}

QString SystemName() {
#ifdef _WIN32
    return QStringLiteral("Windows");
#else
    return QStringLiteral("Linux");
#endif
}
