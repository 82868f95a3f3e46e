#include "link/StatusFrame.h"

#include <limits>

bool IsHeader(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    return b0 == '&' && b1 == '&' && b2 == '&';
}

std::optional<std::int16_t> FrameWord(std::uint8_t high, std::uint8_t low) {
    const int word = high * 255 + low;
    if (word > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(word);
}

std::optional<StatusFrame> DecodeFrame(const QByteArray& block) {
    if (block.size() < StatusFrameSize)
        return std::nullopt;
    const auto byte = [&block](int i) { return static_cast<std::uint8_t>(block[i]); };
    if (!IsHeader(byte(0), byte(1), byte(2)))
        return std::nullopt;
    StatusFrame frame;
    frame.VoltageWord = FrameWord(byte(3), byte(4));
    frame.BatteryByte = byte(5);
    frame.PeriodWord = FrameWord(byte(6), byte(7));
    frame.RegulationChar = byte(8);
    frame.AlarmChar = byte(9);
    return frame;
}
