#pragma once

#include <QString>

// Styles and answers of the monitor's modal message boxes.
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
inline const QString AppTitle = QStringLiteral("Orvane Corvolt");

// Modal message boxes. With RetryCancel, Retry is the default button.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns the answer (vb::OK, vb::Retry, vb::Cancel). An empty
    // title shows AppTitle.
    virtual int MsgBox(const QString& prompt, int style, const QString& title = QString()) = 0;
};

// Boxes shown with QMessageBox, with Spanish button texts.
class QtMessageBoxes final : public MessageBoxes {
public:
    int MsgBox(const QString& prompt, int style, const QString& title = QString()) override;
};
