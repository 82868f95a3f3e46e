#pragma once

#include <optional>
#include <string>

namespace comm {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// Line settings of a serial port, as the control's settings text gives them.
struct LineFormat {
    int baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Parses "baud,parity,databits,stopbits": a positive decimal baud rate, parity n/e/o/m/s
// (either case), data bits 5 to 8 and stop bits 1, 1.5 or 2; blanks around a field are
// allowed. Empty when the text is malformed.
std::optional<LineFormat> ParseLineFormat(const std::string& text);

} // namespace comm
