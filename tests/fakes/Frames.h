#pragma once

#include <QByteArray>

#include <initializer_list>

// A block of raw bytes as the UPS line delivers it.
inline QByteArray Bytes(std::initializer_list<int> bytes) {
    QByteArray block;
    for (int b : bytes)
        block.append(static_cast<char>(b));
    return block;
}

// A status frame: "&&&", VoltageWord bytes, battery, PeriodWord bytes, regulation, alarm.
inline QByteArray Frame(char alarm = '0', char regulation = '0', int voltHigh = 46,
                        int voltLow = 196, int battery = 212, int periodHigh = 65,
                        int periodLow = 92) {
    return Bytes(
        {'&', '&', '&', voltHigh, voltLow, battery, periodHigh, periodLow, regulation, alarm});
}
