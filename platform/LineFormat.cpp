#include "platform/LineFormat.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

namespace comm {
namespace {

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::vector<std::string> SplitTrimmed(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    for (std::string& field : fields) {
        const auto first = std::find_if_not(field.begin(), field.end(), IsBlank);
        const auto last = std::find_if_not(field.rbegin(), field.rend(), IsBlank).base();
        field = first < last ? std::string(first, last) : std::string();
    }
    return fields;
}

// A decimal number of digits only, no larger than INT_MAX.
std::optional<int> ParseDigits(const std::string& field) {
    if (field.empty())
        return std::nullopt;
    long long value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<Parity> ParseParity(const std::string& field) {
    if (field.size() != 1)
        return std::nullopt;
    switch (std::tolower(static_cast<unsigned char>(field[0]))) {
    case 'n':
        return Parity::None;
    case 'e':
        return Parity::Even;
    case 'o':
        return Parity::Odd;
    case 'm':
        return Parity::Mark;
    case 's':
        return Parity::Space;
    default:
        return std::nullopt;
    }
}

std::optional<StopBits> ParseStopBits(const std::string& field) {
    if (field == "1")
        return StopBits::One;
    if (field == "1.5")
        return StopBits::OneAndHalf;
    if (field == "2")
        return StopBits::Two;
    return std::nullopt;
}

} // namespace

std::optional<LineFormat> ParseLineFormat(const std::string& text) {
    const std::vector<std::string> fields = SplitTrimmed(text);
    if (fields.size() != 4)
        return std::nullopt;
    const auto baud = ParseDigits(fields[0]);
    const auto parity = ParseParity(fields[1]);
    const auto dataBits = ParseDigits(fields[2]);
    const auto stopBits = ParseStopBits(fields[3]);
    if (!baud || *baud <= 0 || !parity || !dataBits || *dataBits < 5 || *dataBits > 8 || !stopBits)
        return std::nullopt;
    return LineFormat{*baud, *parity, *dataBits, *stopBits};
}

} // namespace comm
