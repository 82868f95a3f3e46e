#include "readings/Calibration.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr std::size_t kPoints = 7;

// Calibration points: x is the square root of the raw voltage code, y the line voltage in
// volts. The voltages step by a sixth of 50 V, cut (not rounded) to two decimals.
constexpr std::array<double, kPoints> kX = {79.64, 89.21, 99.35, 109.21, 118.16, 127.41, 135};
constexpr std::array<double, kPoints> kY = {95, 103.33, 111.66, 120, 128.33, 136.66, 145};

// The denominator of point i, the product of (x_i - x_j) over the six other points taken in
// increasing j, is kept as three factors of two differences each. Each term divides by them
// one after the other, which keeps the result identical to the reference figures.
struct DenominatorFactors {
    double first;
    double second;
    double third;
};

constexpr DenominatorFactors FactorsOf(std::size_t i) {
    std::array<double, kPoints - 1> differences{};
    std::size_t n = 0;
    for (std::size_t j = 0; j < kPoints; ++j) {
        if (j != i) {
            differences[n++] = kX[i] - kX[j];
        }
    }
    return {differences[0] * differences[1], differences[2] * differences[3],
            differences[4] * differences[5]};
}

constexpr std::array<DenominatorFactors, kPoints> kFactors = {
    FactorsOf(0), FactorsOf(1), FactorsOf(2), FactorsOf(3),
    FactorsOf(4), FactorsOf(5), FactorsOf(6)};

// Floating-point arithmetic that remembers whether any step produced an infinity or a NaN,
// so that an overflow or an invalid operation anywhere fails the whole calculation even if
// a later step would bring the value back into range (1 / inf is 0).
class CheckedArithmetic {
public:
    double Sub(double a, double b) { return Check(a - b); }
    double Mul(double a, double b) { return Check(a * b); }
    double Div(double a, double b) { return Check(a / b); }
    double Add(double a, double b) { return Check(a + b); }
    bool Failed() const { return m_failed; }

private:
    double Check(double value) {
        if (!std::isfinite(value)) {
            m_failed = true;
        }
        return value;
    }

    bool m_failed = false;
};

} // namespace

std::optional<double> CalibratedVoltage(double x) {
    CheckedArithmetic op;

    std::array<double, kPoints> d{};
    for (std::size_t j = 0; j < kPoints; ++j) {
        d[j] = op.Sub(x, kX[j]);
    }

    // Term i: the three differences of the first group multiplied left to right, times y_i,
    // divided by the first factor; then times the second group, divided by the other two.
    const auto term = [&](std::size_t i, std::array<std::size_t, 3> first,
                          std::array<std::size_t, 3> second) {
        double t = op.Mul(op.Mul(d[first[0]], d[first[1]]), d[first[2]]);
        t = op.Div(op.Mul(t, kY[i]), kFactors[i].first);
        for (const std::size_t j : second) {
            t = op.Mul(t, d[j]);
        }
        return op.Div(op.Div(t, kFactors[i].second), kFactors[i].third);
    };

    const double t0 = term(0, {5, 4, 6}, {1, 2, 3});
    const double t1 = term(1, {5, 4, 6}, {0, 2, 3});
    const double t2 = term(2, {5, 4, 6}, {0, 1, 3});
    const double t3 = term(3, {5, 4, 6}, {0, 1, 2});
    const double t4 = term(4, {5, 3, 6}, {0, 1, 2});
    const double t5 = term(5, {4, 3, 6}, {0, 1, 2});

    // The last term multiplies by the product of its second group, formed first.
    double t6 = op.Mul(op.Mul(d[4], d[3]), d[5]);
    t6 = op.Div(op.Mul(t6, kY[6]), kFactors[6].first);
    t6 = op.Mul(t6, op.Mul(op.Mul(d[1], d[0]), d[2]));
    t6 = op.Div(op.Div(t6, kFactors[6].second), kFactors[6].third);

    double sum = op.Add(t4, t0);
    for (const double t : {t1, t2, t3, t5, t6}) {
        sum = op.Add(sum, t);
    }

    if (op.Failed()) {
        return std::nullopt;
    }
    return sum;
}
