#pragma once

#include "platform/CommControl.h"

#include <QSerialPort>

#include <functional>
#include <optional>

// Line settings as "baud,parity,databits,stopbits", e.g. "9600,n,8,1".
struct LineSettings {
    qint32 BaudRate = 9600;
    QSerialPort::Parity Parity = QSerialPort::NoParity;
    QSerialPort::DataBits DataBits = QSerialPort::Data8;
    QSerialPort::StopBits StopBits = QSerialPort::OneStop;
};

// Parses a settings text: a positive baud rate, parity n/e/o/m/s, data bits 5 to 8 and stop
// bits 1, 1.5 or 2, case-insensitive, blanks around a field allowed. Empty when malformed.
std::optional<LineSettings> ParseLineSettings(const QString& text);

// The serial control over QSerialPort, receive only. The port is opened read-only, without
// flow control, with DTR raised and RTS low. Received bytes wait in a buffer of at most
// InBufferSize bytes (or RThreshold, if larger); the receive event is raised from readyRead
// once RThreshold bytes are buffered. A line that fails while open (the other end hung up,
// the adapter was unplugged) is closed at once, so that PortOpen() reads false.
//
// Error numbers: CommPort outside 1 to comm::MaxCommPort, a malformed setting or a negative
// threshold give ErrInvalidValue; changing CommPort or opening while open gives ErrPortOpen;
// a failed opening gives ErrNoSuchPort (no such device, or no UART behind its node),
// ErrPermissionDenied (the user may not open the device), ErrPortInUse (another program holds
// it) or ErrOpenFailed (anything else, e.g. a node that is not a serial port).
//
// Input() always yields bytes: input mode 1 (bytes) and 0 (text) are both accepted.
// OnComm must not throw: it runs inside Qt's event dispatch.
class QtCommControl final : public CommControl {
public:
    static constexpr int InBufferSize = 1024;

    // Device of CommPort n as Windows names it, "COMn". The Linux program passes its own
    // mapping; an empty name means that port is not present.
    static QString DefaultPortName(int number);

    // heldElsewhere: whether another program holds the device (say, by a lock file); it is
    // asked before Qt opens the device, so Qt never takes over or removes such a lock.
    explicit QtCommControl(std::function<QString(int)> portName = DefaultPortName,
                           std::function<bool(const QString&)> heldElsewhere = {});

    void setSettings(const std::string& settings) override;
    void setInputMode(int mode) override;
    void setRThreshold(int bytes) override;
    void setCommPort(int number) override;
    int CommPort() const override { return commPort_; }
    bool PortOpen() const override { return port_.isOpen(); }
    void setPortOpen(bool open) override;
    std::vector<std::uint8_t> Input() override;
    void setInBufferCount(int count) override;
    int CommEvent() const override { return commEvent_; }

private:
    void openPort();
    void closePort();
    bool applySettings();
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    std::function<QString(int)> portName_;
    std::function<bool(const QString&)> heldElsewhere_;
    LineSettings settings_;
    int rThreshold_ = 0;
    int commPort_ = 1;
    int commEvent_ = 0;
    // Last, so that it is closed while the members its handlers use still exist.
    QSerialPort port_;
};
