#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Number texts are UTF-8; the decimal separator is the user's, also when it takes more than
// one byte.

// Decimal text of a finite value: at most 15 significant digits, the last one rounded,
// trailing zeros and a bare separator dropped, no digit grouping, no exponent for the
// magnitudes the monitor shows. Empty when the value is not finite.
std::optional<std::string> NumberText(double value, const std::string& decimalSeparator);

// The "###.##" pattern applied to a number text written with the same separator: rounded
// to two decimals half away from zero (on the decimal digits, not the binary value), the
// integer part without leading zeros (nothing for zero), the separator always, then up to
// two decimals without trailing zeros. 95 gives "95.", 0.5 gives ".5".
// An empty or unreadable text gives an empty text.
std::string FormatVoltagePattern(const std::string& numberText,
                                 const std::string& decimalSeparator);

// The "##" pattern: all digits, no leading zeros (1193 gives "1193").
std::string FormatHours(std::uint32_t hours);

// The "0#" pattern: at least two digits (5 gives "05").
std::string FormatMinutes(std::uint32_t minutes);
