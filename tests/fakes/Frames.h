#pragma once

#include <cstdint>
#include <vector>

// A block of raw bytes as the UPS line delivers it.
using Bytes = std::vector<std::uint8_t>;

// A status frame: "&&&", VoltageWord bytes, battery, PeriodWord bytes, regulation, alarm.
inline Bytes Frame(char alarm = '0', char regulation = '0', int voltHigh = 46, int voltLow = 196,
                   int battery = 212, int periodHigh = 65, int periodLow = 92) {
    const auto byte = [](int value) { return static_cast<std::uint8_t>(value); };
    return {'&',
            '&',
            '&',
            byte(voltHigh),
            byte(voltLow),
            byte(battery),
            byte(periodHigh),
            byte(periodLow),
            byte(regulation),
            byte(alarm)};
}

// The frame the UPS sends at 120 V, 60 Hz, 83 % battery, regulation and alarm "0".
inline Bytes ExampleFrame() {
    return {0x26, 0x26, 0x26, 0x2E, 0xC4, 0xD4, 0x41, 0x5C, 0x30, 0x30};
}
