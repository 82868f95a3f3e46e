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

std::optional<StatusFrame> DecodeFrame(const std::vector<std::uint8_t>& block) {
    if (block.size() < StatusFrameSize)
        return std::nullopt;
    if (!IsHeader(block[0], block[1], block[2]))
        return std::nullopt;
    StatusFrame frame;
    frame.VoltageWord = FrameWord(block[3], block[4]);
    frame.BatteryByte = block[5];
    frame.PeriodWord = FrameWord(block[6], block[7]);
    frame.RegulationChar = block[8];
    frame.AlarmChar = block[9];
    return frame;
}
