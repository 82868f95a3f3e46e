#pragma once

#include <string>

// Styles and answers of the monitor's modal message boxes (the values are Win32's).
namespace vb {
constexpr int OKOnly = 0;
constexpr int RetryCancel = 5;
constexpr int Critical = 16;
constexpr int Information = 64;

constexpr int OK = 1;
constexpr int Cancel = 2;
constexpr int Retry = 4;
} // namespace vb

// Title of every box that is given none of its own.
inline const std::string AppTitle = "Orvane Corvolt";

// Modal message boxes. With RetryCancel, Retry is the default button.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns the answer (vb::OK, vb::Retry, vb::Cancel). An empty
    // title shows AppTitle. Lines of the prompt are separated by CR LF.
    virtual int MsgBox(const std::string& prompt, int style, const std::string& title = {}) = 0;
};
