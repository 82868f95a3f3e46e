#pragma once

#include "platform/CommControl.h"
#include "platform/LineFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The control's error number for a Win32 error code (GetLastError) of a failed opening:
// a port that does not exist (2, 3) is ErrNoSuchPort, one that another program holds (5)
// ErrPortInUse, anything else ErrOpenFailed.
int CommErrorNumber(std::uint32_t lastError);

// An open serial port as the control drives it. The real one (Win32SerialLine) reads on a
// thread of its own and hands every chunk to the UI thread; the tests feed it by hand.
class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Opens COMn receive only, with the line format, DTR raised, RTS low and no flow
    // control. Throws CommError with the number of CommErrorNumber.
    virtual void Open(int number, const comm::LineFormat& format) = 0;
    // Stops reading and closes the port; nothing more is delivered afterwards.
    virtual void Close() = 0;
    // Drops whatever the driver holds unread.
    virtual void Purge() = 0;

    // On the UI thread: bytes read from the open port, in order.
    std::function<void(const std::vector<std::uint8_t>& chunk)> Received;
    // On the UI thread: reading failed (the other end hung up, the device went away).
    std::function<void()> Failed;
};

// The serial control over a SerialLine, receive only. Received bytes wait in a buffer of
// at most InBufferSize bytes (or RThreshold, if larger; further bytes are dropped); the
// receive event is raised on every chunk that leaves at least RThreshold bytes buffered.
// A line that fails while open is closed quietly, so that PortOpen() reads false and the
// watchdog notices the silence. Line settings take effect at the next opening.
//
// Error numbers: CommPort outside 1 to comm::MaxCommPort, a malformed setting or a negative
// threshold give ErrInvalidValue; changing CommPort or opening while open gives
// ErrPortOpen; a failed opening gives the number the line reports.
class Win32CommControl final : public CommControl {
public:
    static constexpr int InBufferSize = 1024;

    explicit Win32CommControl(SerialLine& line);
    ~Win32CommControl() override;

    void setSettings(const std::string& settings) override;
    void setInputMode(int mode) override;
    void setRThreshold(int bytes) override;
    void setCommPort(int number) override;
    int CommPort() const override { return m_commPort; }
    bool PortOpen() const override { return m_open; }
    void setPortOpen(bool open) override;
    std::vector<std::uint8_t> Input() override;
    void setInBufferCount(int count) override;
    int CommEvent() const override { return m_commEvent; }

private:
    void Append(const std::vector<std::uint8_t>& chunk);
    void Close();

    SerialLine& m_line;
    comm::LineFormat m_format;
    int m_rThreshold = 0;
    int m_commPort = 1;
    int m_commEvent = 0;
    bool m_open = false;
    std::vector<std::uint8_t> m_buffer;
};
