#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Decimal text of a finite value: at most 15 significant digits, the last one rounded,
// trailing zeros and a bare separator dropped, no digit grouping, no exponent for the
// magnitudes the monitor shows. Empty when the value is not finite.
std::optional<QString> NumberText(double value, const QString& decimalSeparator);

// The "###.##" pattern applied to a number text written with the same separator: rounded
// to two decimals half away from zero (on the decimal digits, not the binary value), the
// integer part without leading zeros (nothing for zero), the separator always, then up to
// two decimals without trailing zeros. 95 gives "95.", 0.5 gives ".5".
// An empty or unreadable text gives an empty text.
QString FormatVoltagePattern(const QString& numberText, const QString& decimalSeparator);

// The "##" pattern: all digits, no leading zeros (1193 gives "1193").
QString FormatHours(std::uint32_t hours);

// The "0#" pattern: at least two digits (5 gives "05").
QString FormatMinutes(std::uint32_t minutes);
