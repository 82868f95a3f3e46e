#pragma once

#include <QString>

#include <cstdint>

// Milliseconds since the operating system started, as an unsigned 32-bit count that
// wraps to 0 after 4294967295 ms, like the Windows tick counter.
class TickCounter {
public:
    virtual ~TickCounter() = default;
    virtual std::uint32_t GetTickCount() = 0;
};

// The user's regional settings as far as numbers go.
class NumberLocale {
public:
    virtual ~NumberLocale() = default;
    virtual QString decimalSeparator() const = 0;
};

// The running system's counter: GetTickCount on Windows, CLOCK_BOOTTIME on Linux.
class SystemTickCounter final : public TickCounter {
public:
    std::uint32_t GetTickCount() override;
};

// The decimal separator of the system locale (QLocale::system()).
class SystemNumberLocale final : public NumberLocale {
public:
    QString decimalSeparator() const override;
};

// Name of the running system as the uptime text shows it: "Windows" or "Linux".
QString SystemName();
