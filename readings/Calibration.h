#pragma once

#include <optional>

// Line voltage in volts for x, the square root of the raw voltage code: the degree-six
// polynomial through the seven calibration points, evaluated in Lagrange form with a fixed
// order of operations so that the result is reproducible to the last bit.
// Empty when any step overflows or is invalid (a non-finite input or intermediate value).
std::optional<double> CalibratedVoltage(double x);
