#pragma once

#include <cstdint>
#include <string>

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
    // The decimal separator, UTF-8 (".", ",", or another character).
    virtual std::string decimalSeparator() const = 0;
};
