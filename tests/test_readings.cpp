#include "readings/Calibration.h"
#include "readings/NumberText.h"
#include "readings/Uptime.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::string kPoint = ".";
const std::string kComma = ",";

// The C library's conversions in the "C" locale, whatever locale the process runs in,
// as references for the texts under test. (setlocale rather than POSIX uselocale, so that
// the test also builds for Windows; the tests run on one thread.)
class CNumericScope {
public:
    CNumericScope() : m_previous(std::setlocale(LC_NUMERIC, nullptr)) {
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericScope() { std::setlocale(LC_NUMERIC, m_previous.c_str()); }
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    const std::string m_previous;
};

std::string Printf(const char* format, double value) {
    const CNumericScope scope;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

double Strtod(const std::string& text) {
    const CNumericScope scope;
    return std::strtod(text.c_str(), nullptr);
}

double VoltageX(int voltageWord) {
    return std::sqrt(static_cast<double>(voltageWord));
}

// What the voltage label shows for x: the number text, then the "###.##" pattern.
std::string ShownVoltage(double x, const std::string& separator) {
    const auto volts = CalibratedVoltage(x);
    if (!volts) {
        return "<no voltage>";
    }
    const auto text = NumberText(*volts, separator);
    return text ? FormatVoltagePattern(*text, separator) : "<no text>";
}

std::string ShownFrequency(int period, const std::string& separator) {
    const auto text = NumberText(1000000.0 / period, separator);
    return text ? FormatVoltagePattern(*text, separator) : "<no text>";
}

std::string Text(double value, const std::string& separator = kPoint) {
    const auto text = NumberText(value, separator);
    return text ? *text : "<none>";
}

TEST(CalibratedVoltage, VoltageWordTable) {
    struct Row {
        int voltageWord;
        const char* volts; // to ten significant digits
        const char* shown;
    };
    const Row rows[] = {
        {0, "18725.99005", "18725.99"},    {5560, "92.82220228", "92.82"},
        {6343, "95.0021537", "95."},       {8000, "103.5334391", "103.53"},
        {10000, "112.1808793", "112.18"},  {11926, "119.9965887", "120."},
        {12100, "120.7176393", "120.72"},  {14400, "130.0290294", "130.03"},
        {16000, "135.8362759", "135.84"},  {18225, "145", "145."},
        {20000, "159.6314101", "159.63"},  {25000, "358.1666329", "358.17"},
        {32767, "2361.392572", "2361.39"},
    };
    for (const Row& row : rows) {
        const auto volts = CalibratedVoltage(VoltageX(row.voltageWord));
        ASSERT_TRUE(volts) << row.voltageWord;
        EXPECT_EQ(Printf("%.10g", *volts), row.volts) << row.voltageWord;
        EXPECT_EQ(ShownVoltage(VoltageX(row.voltageWord), kPoint), row.shown) << row.voltageWord;
    }
}

TEST(CalibratedVoltage, CalibrationPointsGiveTheirVoltage) {
    struct Row {
        double x;
        double y;
        const char* text;
    };
    const Row rows[] = {
        {79.64, 95, "95"},    {89.21, 103.33, "103.33"},  {99.35, 111.66, "111.66"},
        {109.21, 120, "120"}, {118.16, 128.33, "128.33"}, {127.41, 136.66, "136.66"},
        {135, 145, "145"},
    };
    for (const Row& row : rows) {
        const auto volts = CalibratedVoltage(row.x);
        ASSERT_TRUE(volts) << row.x;
        EXPECT_EQ(Text(*volts), row.text) << row.x;
        // Only the point's own term is non-zero there; its eight roundings leave it within
        // two units in the last place of y.
        const double ulp = row.y - std::nextafter(row.y, 0.0);
        EXPECT_LE(std::abs(*volts - row.y), 2 * ulp) << row.x;
    }
    EXPECT_EQ(CalibratedVoltage(135).value(), 144.99999999999997);
}

TEST(CalibratedVoltage, FifteenDigitTexts) {
    EXPECT_EQ(Text(CalibratedVoltage(100).value()), "112.180879286761");
    EXPECT_EQ(Text(CalibratedVoltage(110).value()), "120.71763933412");
    EXPECT_EQ(Text(CalibratedVoltage(VoltageX(11926)).value()), "119.996588743578");
    EXPECT_EQ(Text(CalibratedVoltage(100).value(), kComma), "112,180879286761");
    EXPECT_EQ(ShownVoltage(100, kComma), "112,18");
}

TEST(CalibratedVoltage, ExactBits) {
    // The exact doubles of this order of operations, from a separate evaluation of the same
    // steps. Another grouping, order of multiplication or order of summation changes at
    // least one of them (most already at code 0).
    struct Row {
        int voltageWord;
        double volts;
    };
    const Row rows[] = {
        {0, 0x1.2497f5cecbd80p+14},     {5560, 0x1.7349ef651fb56p+6},
        {10000, 0x1.c0b9386b74a5ep+6},  {11926, 0x1.dffc81c274eabp+6},
        {12100, 0x1.e2dedcd87977ep+6},  {20000, 0x1.3f43482e42588p+7},
        {32767, 0x1.272c8ff338d00p+11},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CalibratedVoltage(VoltageX(row.voltageWord)), row.volts) << row.voltageWord;
    }
}

TEST(CalibratedVoltage, EveryVoltageWord) {
    constexpr int kCodes = 32768;
    std::vector<double> volts(kCodes);
    for (int w = 0; w < kCodes; ++w) {
        const auto v = CalibratedVoltage(VoltageX(w));
        ASSERT_TRUE(v) << w;
        ASSERT_TRUE(NumberText(*v, kPoint)) << w;
        volts[w] = *v;
    }

    // Strictly rising over the calibrated span, 95 V to 145 V.
    for (int w = 6344; w <= 18225; ++w) {
        ASSERT_LT(volts[w - 1], volts[w]) << w;
    }

    int lowest = 0;
    for (int w = 1; w < kCodes; ++w) {
        if (volts[w] < volts[lowest]) {
            lowest = w;
        }
    }
    EXPECT_EQ(lowest, 5560);
    EXPECT_EQ(Printf("%.10g", volts[lowest]), "92.82220228");
}

TEST(CalibratedVoltage, OverflowAndInvalidInputsGiveNothing) {
    const double inf = std::numeric_limits<double>::infinity();
    const double rows[] = {
        1e300,
        -1e300,
        DBL_MAX,
        -DBL_MAX,
        inf,
        -inf,
        std::numeric_limits<double>::quiet_NaN(),
        // x^6 overflows in the middle of a term even though the final divisions would
        // bring the term back into range.
        2.5e51,
    };
    for (const double x : rows) {
        EXPECT_FALSE(CalibratedVoltage(x)) << x;
    }
    // Just below that, every step stays finite.
    EXPECT_TRUE(CalibratedVoltage(1e51));
}

TEST(NumberText, Forms) {
    struct Row {
        double value;
        const char* text;
    };
    const Row rows[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {1.0, "1"},
        {-2.5, "-2.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {1000000.0, "1000000"},
        {1000000.0 / 16667, "59.9988000239995"},
        {1000000.0 / 12800, "78.125"},
        {1e15, "1000000000000000"},
        {123456789012345678.0, "123456789012346000"},
        {999999999999999.9, "1000000000000000"},
        {1e-7, "0.0000001"},
        {-1.25e-5, "-0.0000125"},
        {0.39215686274509803, "0.392156862745098"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Text(row.value), row.text) << row.text;
    }
    EXPECT_EQ(Text(-2.5, kComma), "-2,5");
    EXPECT_EQ(Text(1000000.0 / 16600, kComma), "60,2409638554217");

    // The extremes keep positional notation: all digits, never an exponent.
    const std::string largest = Text(DBL_MAX);
    EXPECT_EQ(largest.size(), 309u);
    EXPECT_EQ(largest.substr(0, 16), "1797693134862320");
    EXPECT_EQ(largest.find_first_not_of('0', 15), std::string::npos);
    const std::string smallest = Text(DBL_MIN);
    EXPECT_EQ(smallest, "0." + std::string(307, '0') + "22250738585072");
    EXPECT_EQ(Text(-5e-324), "-0." + std::string(323, '0') + "494065645841247");

    EXPECT_FALSE(NumberText(std::numeric_limits<double>::infinity(), kPoint));
    EXPECT_FALSE(NumberText(-std::numeric_limits<double>::infinity(), kPoint));
    EXPECT_FALSE(NumberText(std::numeric_limits<double>::quiet_NaN(), kPoint));
}

TEST(NumberText, IgnoresTheCLocale) {
    // The application itself calls setlocale(LC_ALL, ""), so a comma locale must not leak
    // into the text.
    struct RestoreNumericLocale {
        const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
        ~RestoreNumericLocale() { std::setlocale(LC_NUMERIC, saved.c_str()); }
    } restore;
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "es_ES.UTF-8", "fr_FR.UTF-8", "de_DE", "es_ES"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            commaLocale = name;
            break;
        }
    }
    if (!commaLocale) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << commaLocale;
    EXPECT_EQ(Text(CalibratedVoltage(100).value()), "112.180879286761");
    EXPECT_EQ(ShownFrequency(16600, kPoint), "60.24");
}

TEST(FormatVoltagePattern, FrequencyTable) {
    struct Row {
        int period;
        const char* shown;
    };
    const Row rows[] = {
        {16667, "60."},   {16600, "60.24"}, {20000, "50."},  {19950, "50.13"},
        {12800, "78.13"}, {32767, "30.52"}, {1, "1000000."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ShownFrequency(row.period, kPoint), row.shown) << row.period;
    }
    EXPECT_EQ(ShownFrequency(16600, kComma), "60,24");
}

TEST(FormatVoltagePattern, EdgeCases) {
    struct Row {
        const char* text;
        const std::string& separator;
        const char* shown;
    };
    const Row rows[] = {
        {"", kPoint, ""},
        {"abc", kPoint, ""},
        {"-", kPoint, ""},
        {".", kPoint, ""},
        {"-.", kPoint, ""},
        {" 12", kPoint, ""},
        {"12 ", kPoint, ""},
        {"+5", kPoint, ""},
        {"1e5", kPoint, ""},
        {"1.2.3", kPoint, ""},
        {"112,18", kPoint, ""},
        {"112.18", kComma, ""},
        {"95", kPoint, "95."},
        {"0", kPoint, "."},
        {".5", kPoint, ".5"},
        {"0.5", kPoint, ".5"},
        {"5.", kPoint, "5."},
        {"007.5", kPoint, "7.5"},
        {"0.004", kPoint, "."},
        {"0.005", kPoint, ".01"},
        {"0.995", kPoint, "1."},
        {"99.995", kPoint, "100."},
        {"999.999", kPoint, "1000."},
        {"78.125", kPoint, "78.13"},
        {"78.12499999", kPoint, "78.12"},
        {"120.3030575", kPoint, "120.3"},
        {"112.1808793", kPoint, "112.18"},
        {"112,180879286761", kComma, "112,18"},
        {"-1.005", kPoint, "-1.01"},
        {"-1.004", kPoint, "-1."},
        {"-0.004", kPoint, "."},
        {"-0.005", kPoint, "-.01"},
        {"123456789012345678901234567890.996", kPoint, "123456789012345678901234567891."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FormatVoltagePattern(row.text, row.separator), row.shown)
            << '"' << row.text << '"';
    }
    // A separator longer than one character is matched whole.
    EXPECT_EQ(FormatVoltagePattern("1::256", "::"), "1::26");
    EXPECT_EQ(FormatVoltagePattern("1:256", "::"), "");
    // A separator of more than one byte, as UTF-8 writes the Arabic one.
    EXPECT_EQ(FormatVoltagePattern("112\u066b180879286761", "\u066b"), "112\u066b18");
    EXPECT_EQ(Text(1000000.0 / 16600, "\u066b"), "60\u066b2409638554217");
}

// Independent reference for the pattern: take the 15 significant digits from printf, and
// round to hundredths in integer arithmetic.
std::string PatternReference(double value) {
    const std::string scientific = Printf("%.14e", std::abs(value)); // d.ddddddddddddddde±xx
    const std::uint64_t mantissa =
        std::stoull(scientific.substr(0, 1) + scientific.substr(2, 14)); // value × 10^(14-e)
    const int exponent = std::stoi(scientific.substr(17));
    const int shift = 12 - exponent; // hundredths = mantissa / 10^shift
    std::uint64_t hundredths = 0;
    if (shift <= 0) {
        hundredths = mantissa;
        for (int i = 0; i < -shift; ++i) {
            hundredths *= 10;
        }
    } else if (shift <= 18) {
        std::uint64_t divisor = 1;
        for (int i = 0; i < shift; ++i) {
            divisor *= 10;
        }
        hundredths = (mantissa + divisor / 2) / divisor;
    }
    std::string decimals = std::to_string(hundredths % 100 / 10) + std::to_string(hundredths % 10);
    while (!decimals.empty() && decimals.back() == '0') {
        decimals.pop_back();
    }
    const std::uint64_t whole = hundredths / 100;
    return std::string(value < 0 && hundredths != 0 ? "-" : "") +
           (whole != 0 ? std::to_string(whole) : "") + "." + decimals;
}

TEST(NumberText, AgreesWithPrintfAndThePatternRoundsItsDigits) {
    std::vector<double> values;
    for (int w = 0; w < 32768; ++w) {
        values.push_back(CalibratedVoltage(VoltageX(w)).value());
    }
    for (int period = 1; period <= 32767; ++period) {
        values.push_back(1000000.0 / period);
    }
    // Thousandths, among them every decimal half such as 1.005, which is below the half in
    // binary but a half in its 15-digit text.
    for (int k = -20000; k <= 200000; ++k) {
        values.push_back(k / 1000.0);
    }
    std::mt19937_64 random(20240229);
    std::uniform_real_distribution<double> magnitude(-4, 9);
    for (int i = 0; i < 100000; ++i) {
        values.push_back((i % 2 ? -1 : 1) * std::pow(10.0, magnitude(random)));
    }

    const std::regex form("-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?");
    for (const double value : values) {
        const auto text = NumberText(value, kPoint);
        ASSERT_TRUE(text) << value;
        ASSERT_TRUE(std::regex_match(*text, form)) << *text;
        // Fifteen-digit decimals are distinct doubles, so equal values mean equal digits.
        ASSERT_EQ(Strtod(*text), Strtod(Printf("%.15g", value))) << *text;
        ASSERT_EQ(FormatVoltagePattern(*text, kPoint), PatternReference(value)) << *text;
    }
}

TEST(Uptime, StatusBarTexts) {
    struct Row {
        std::uint32_t ticks;
        const char* tail;
    };
    const Row rows[] = {
        {0, ""},
        {1, ""},
        {59999, ""},
        {60000, "01 mins"},
        {300000, "05 mins"},
        {3599999, "59 mins"},
        {3600000, "1 hrs : "},
        {3659999, "1 hrs : "},
        {5000000, "1 hrs : 23 mins"},
        {45000000, "12 hrs : 30 mins"},
        {2147483648u, "596 hrs : 31 mins"},
        {4294967295u, "1193 hrs : 02 mins"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UptimeText(row.ticks, "Windows"), std::string(" Sesión en Windows : ") + row.tail)
            << row.ticks;
        EXPECT_EQ(UptimeText(row.ticks, "Linux"), std::string(" Sesión en Linux : ") + row.tail)
            << row.ticks;
    }
}

TEST(Uptime, HourAndMinutePatterns) {
    EXPECT_EQ(FormatHours(0), ""); // "#" shows nothing for a zero digit
    EXPECT_EQ(FormatHours(7), "7");
    EXPECT_EQ(FormatHours(1193), "1193");
    EXPECT_EQ(FormatMinutes(0), "00");
    EXPECT_EQ(FormatMinutes(5), "05");
    EXPECT_EQ(FormatMinutes(23), "23");
    EXPECT_EQ(FormatMinutes(123), "123");
}

} // namespace
