#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The UPS's 10-byte status frame: "&&&", then the raw fields.
constexpr std::size_t StatusFrameSize = 10;

struct StatusFrame {
    // Words are byte × 255 + byte and valid only from 0 to 32767; empty when out of range.
    std::optional<std::int16_t> VoltageWord;
    std::uint8_t BatteryByte = 0;
    std::optional<std::int16_t> PeriodWord;
    std::uint8_t RegulationChar = 0;
    std::uint8_t AlarmChar = 0;
};

// True when the three bytes are "&&&", the frame header and link handshake.
bool IsHeader(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);

// high × 255 + low (weight 255, not 256) as a 16-bit signed value; empty on overflow.
std::optional<std::int16_t> FrameWord(std::uint8_t high, std::uint8_t low);

// The frame at the start of a block: empty when the block is shorter than a frame or its
// header is not "&&&". Bytes after the tenth are ignored.
std::optional<StatusFrame> DecodeFrame(const std::vector<std::uint8_t>& block);
