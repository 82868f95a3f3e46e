#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Error numbers the serial control reports. 8002 and 8005 are the classic serial-control
// numbers; 70 and 380 are the runtime's "Permission denied" and "Invalid property value".
namespace comm {
constexpr int ErrPermissionDenied = 70; // the device exists but the user may not open it
constexpr int ErrInvalidValue = 380;    // malformed settings, out-of-range threshold
constexpr int ErrPortOpen = 8000;       // operation not allowed while the port is open
constexpr int ErrNoSuchPort = 8002;     // the port does not exist
constexpr int ErrPortInUse = 8005;      // another program holds the port
constexpr int ErrOpenFailed = 8010;     // any other failure to open or configure the port

// The receive event, the only CommEvent the monitor acts on.
constexpr int EvReceive = 2;

constexpr int InputModeBinary = 1;
} // namespace comm

// A failed serial-control operation, carrying its error number.
class CommError : public std::runtime_error {
public:
    CommError(int number, const std::string& what) : std::runtime_error(what), Number(number) {}
    int Number;
};

// The checks every serial control makes of the values the monitor writes, alike for each
// implementation; each throws CommError with ErrInvalidValue (or ErrPortOpen) for a value
// it refuses.
namespace comm {
constexpr int MaxCommPort = 255;
void CheckInputMode(int mode);
void CheckRThreshold(int bytes);
// number 1 to MaxCommPort, and only while the port is closed.
void CheckCommPort(int number, bool portOpen);
void CheckInBufferCount(int count);
} // namespace comm

// The serial-port control as the monitor uses it: one port at a time, chosen by number
// (1 is COM1), receive only. All calls and the OnComm event happen on the UI thread.
class CommControl {
public:
    virtual ~CommControl() = default;

    // Line settings as "baud,parity,databits,stopbits", e.g. "9600,n,8,1".
    virtual void setSettings(const std::string& settings) = 0;
    virtual void setInputMode(int mode) = 0;
    // The receive event is raised only once at least this many bytes are buffered.
    virtual void setRThreshold(int bytes) = 0;
    // Selects the port the next opening uses; only allowed while the port is closed.
    virtual void setCommPort(int number) = 0;
    virtual int CommPort() const = 0;
    virtual bool PortOpen() const = 0;
    // true opens the selected port, false closes it. Throws CommError on failure.
    virtual void setPortOpen(bool open) = 0;
    // Every buffered byte, first byte at index 0; the buffer is empty afterwards.
    virtual std::vector<std::uint8_t> Input() = 0;
    // 0 discards every buffered byte.
    virtual void setInBufferCount(int count) = 0;
    // Kind of the event being delivered through OnComm.
    virtual int CommEvent() const = 0;

    // Raised for every event of the port, on the UI thread.
    std::function<void()> OnComm;
};
