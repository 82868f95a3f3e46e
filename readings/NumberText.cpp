#include "readings/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>
#include <system_error>

namespace {

constexpr int kSignificantDigits = 15;

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A number text taken apart: sign, digits before and after the separator.
struct DecimalText {
    bool negative = false;
    QString integerDigits;
    QString fractionDigits;
};

// Reads "[-]digits[<separator>digits]" with at least one digit; anything else (another
// separator, spaces, an exponent, letters) is unreadable.
std::optional<DecimalText> ReadDecimal(const QString& text, const QString& separator) {
    DecimalText number;
    qsizetype pos = 0;
    const auto takeDigits = [&] {
        const qsizetype start = pos;
        while (pos < text.size() && IsAsciiDigit(text[pos])) {
            ++pos;
        }
        return text.mid(start, pos - start);
    };

    if (pos < text.size() && text[pos] == QLatin1Char('-')) {
        number.negative = true;
        ++pos;
    }
    number.integerDigits = takeDigits();
    if (!separator.isEmpty() && QStringView(text).mid(pos).startsWith(separator)) {
        pos += separator.size();
        number.fractionDigits = takeDigits();
    }
    if (pos != text.size() || (number.integerDigits.isEmpty() && number.fractionDigits.isEmpty())) {
        return std::nullopt;
    }
    return number;
}

// Adds one unit in the last place of a string of decimal digits, growing it on a carry out.
void IncrementDigits(QString& digits) {
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] != QLatin1Char('9')) {
            digits[i] = QChar(digits[i].unicode() + 1);
            return;
        }
        digits[i] = QLatin1Char('0');
    }
    digits.prepend(QLatin1Char('1'));
}

} // namespace

std::optional<QString> NumberText(double value, const QString& decimalSeparator) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    if (value == 0) {
        return QStringLiteral("0"); // also for -0, which is no reading of its own
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

    QString digits = QString::fromLatin1(scientific.substr(0, 1)) +
                     QString::fromLatin1(scientific.substr(2, exponentMark - 2));
    while (digits.endsWith(QLatin1Char('0'))) {
        digits.chop(1);
    }

    // Positional notation for every magnitude, never an exponent: the readings stay well
    // inside the range where this is short, and a pattern can always read the text back.
    QString integerPart;
    QString fractionPart;
    if (exponent >= 0) {
        const qsizetype integerLength = exponent + 1;
        integerPart = digits.left(integerLength);
        integerPart +=
            QString(std::max<qsizetype>(0, integerLength - digits.size()), QLatin1Char('0'));
        fractionPart = digits.mid(std::min(integerLength, digits.size()));
    } else {
        integerPart = QStringLiteral("0");
        fractionPart = QString(-exponent - 1, QLatin1Char('0')) + digits;
    }

    QString text = value < 0 ? QStringLiteral("-") : QString();
    text += integerPart;
    if (!fractionPart.isEmpty()) {
        text += decimalSeparator + fractionPart;
    }
    return text;
}

QString FormatVoltagePattern(const QString& numberText, const QString& decimalSeparator) {
    const std::optional<DecimalText> number = ReadDecimal(numberText, decimalSeparator);
    if (!number) {
        return QString();
    }

    // Work in hundredths: the integer digits and the first two decimals. A third decimal
    // of 5 or more means at least half a hundredth, which rounds the magnitude up, i.e.
    // away from zero.
    const QString& fraction = number->fractionDigits;
    QString hundredths =
        number->integerDigits + fraction.left(2).leftJustified(2, QLatin1Char('0'));
    if (fraction.size() > 2 && fraction[2] >= QLatin1Char('5')) {
        IncrementDigits(hundredths);
    }

    QString integerPart = hundredths.chopped(2);
    QString decimals = hundredths.right(2);
    while (integerPart.startsWith(QLatin1Char('0'))) {
        integerPart.remove(0, 1);
    }
    while (decimals.endsWith(QLatin1Char('0'))) {
        decimals.chop(1);
    }

    // A negative value that rounds to zero shows no sign.
    const bool showSign = number->negative && !(integerPart.isEmpty() && decimals.isEmpty());
    return (showSign ? QStringLiteral("-") : QString()) + integerPart + decimalSeparator + decimals;
}

QString FormatHours(std::uint32_t hours) {
    // Like the integer part of "###.##", a value of zero shows no digit at all.
    return hours == 0 ? QString() : QString::number(hours);
}

QString FormatMinutes(std::uint32_t minutes) {
    return QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0'));
}
