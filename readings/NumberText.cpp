#include "readings/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>
#include <system_error>

namespace {

constexpr int kSignificantDigits = 15;

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number text taken apart: sign, digits before and after the separator.
struct DecimalText {
    bool negative = false;
    std::string integerDigits;
    std::string fractionDigits;
};

// Reads "[-]digits[<separator>digits]" with at least one digit; anything else (another
// separator, spaces, an exponent, letters) is unreadable.
std::optional<DecimalText> ReadDecimal(std::string_view text, std::string_view separator) {
    DecimalText number;
    std::size_t pos = 0;
    const auto takeDigits = [&] {
        const std::size_t start = pos;
        while (pos < text.size() && IsAsciiDigit(text[pos])) {
            ++pos;
        }
        return std::string(text.substr(start, pos - start));
    };

    if (pos < text.size() && text[pos] == '-') {
        number.negative = true;
        ++pos;
    }
    number.integerDigits = takeDigits();
    if (!separator.empty() && text.substr(pos, separator.size()) == separator) {
        pos += separator.size();
        number.fractionDigits = takeDigits();
    }
    if (pos != text.size() || (number.integerDigits.empty() && number.fractionDigits.empty())) {
        return std::nullopt;
    }
    return number;
}

// Adds one unit in the last place of a string of decimal digits, growing it on a carry out.
void IncrementDigits(std::string& digits) {
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
        if (*digit != '9') {
            ++*digit;
            return;
        }
        *digit = '0';
    }
    digits.insert(digits.begin(), '1');
}

void DropTrailingZeros(std::string& digits) {
    digits.erase(digits.find_last_not_of('0') + 1);
}

} // namespace

std::optional<std::string> NumberText(double value, const std::string& decimalSeparator) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    if (value == 0) {
        return "0"; // also for -0, which is no reading of its own
    }

    // std::to_chars rounds the exact binary value correctly and ignores the C locale; its
    // scientific form "d.dddddddddddddde±xx" gives the digits and the decimal exponent.
    char buffer[32];
    const auto converted = std::to_chars(std::begin(buffer), std::end(buffer), std::abs(value),
                                         std::chars_format::scientific, kSignificantDigits - 1);
    if (converted.ec != std::errc()) {
        return std::nullopt;
    }
    const std::string_view scientific(buffer, static_cast<std::size_t>(converted.ptr - buffer));
    const std::size_t exponentMark = scientific.find('e');
    const char* exponentText = scientific.data() + exponentMark + 1;
    if (*exponentText == '+') {
        ++exponentText; // from_chars takes a minus sign only
    }
    int exponent = 0;
    std::from_chars(exponentText, scientific.data() + scientific.size(), exponent);

    std::string digits =
        std::string(scientific.substr(0, 1)).append(scientific.substr(2, exponentMark - 2));
    DropTrailingZeros(digits);

    // Positional notation for every magnitude, never an exponent: the readings stay well
    // inside the range where this is short, and a pattern can always read the text back.
    std::string integerPart;
    std::string fractionPart;
    if (exponent >= 0) {
        const std::size_t integerLength = static_cast<std::size_t>(exponent) + 1;
        integerPart = digits.substr(0, integerLength);
        if (integerLength > digits.size()) {
            integerPart.append(integerLength - digits.size(), '0');
        }
        fractionPart = digits.substr(std::min(integerLength, digits.size()));
    } else {
        integerPart = "0";
        fractionPart = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }

    std::string text = value < 0 ? "-" : "";
    text += integerPart;
    if (!fractionPart.empty()) {
        text += decimalSeparator + fractionPart;
    }
    return text;
}

std::string FormatVoltagePattern(const std::string& numberText,
                                 const std::string& decimalSeparator) {
    const std::optional<DecimalText> number = ReadDecimal(numberText, decimalSeparator);
    if (!number) {
        return {};
    }

    // Work in hundredths: the integer digits and the first two decimals. A third decimal
    // of 5 or more means at least half a hundredth, which rounds the magnitude up, i.e.
    // away from zero.
    const std::string& fraction = number->fractionDigits;
    std::string hundredths = number->integerDigits + fraction.substr(0, 2);
    hundredths.append(2 - std::min<std::size_t>(fraction.size(), 2), '0');
    if (fraction.size() > 2 && fraction[2] >= '5') {
        IncrementDigits(hundredths);
    }

    std::string integerPart = hundredths.substr(0, hundredths.size() - 2);
    std::string decimals = hundredths.substr(hundredths.size() - 2);
    integerPart.erase(0, integerPart.find_first_not_of('0'));
    DropTrailingZeros(decimals);

    // A negative value that rounds to zero shows no sign.
    const bool showSign = number->negative && !(integerPart.empty() && decimals.empty());
    return (showSign ? "-" : "") + integerPart + decimalSeparator + decimals;
}

std::string FormatHours(std::uint32_t hours) {
    // Like the integer part of "###.##", a value of zero shows no digit at all.
    return hours == 0 ? std::string() : std::to_string(hours);
}

std::string FormatMinutes(std::uint32_t minutes) {
    std::string digits = std::to_string(minutes);
    return digits.size() < 2 ? "0" + digits : digits;
}
