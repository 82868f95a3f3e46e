#include "platform/windows/Win32CommControl.h"

#include <algorithm>

int CommErrorNumber(std::uint32_t lastError) {
    switch (lastError) {
    case 2: // ERROR_FILE_NOT_FOUND
    case 3: // ERROR_PATH_NOT_FOUND
        return comm::ErrNoSuchPort;
    case 5: // ERROR_ACCESS_DENIED: another program has the port open
        return comm::ErrPortInUse;
    default:
        return comm::ErrOpenFailed;
    }
}

Win32CommControl::Win32CommControl(SerialLine& line) : m_line(line) {
    m_line.Received = [this](const std::vector<std::uint8_t>& chunk) { Append(chunk); };
    m_line.Failed = [this] { Close(); };
}

Win32CommControl::~Win32CommControl() {
    Close();
    m_line.Received = nullptr;
    m_line.Failed = nullptr;
}

void Win32CommControl::setSettings(const std::string& settings) {
    const auto format = comm::ParseLineFormat(settings);
    if (!format)
        throw CommError(comm::ErrInvalidValue, "malformed line settings \"" + settings + "\"");
    m_format = *format;
}

void Win32CommControl::setInputMode(int mode) {
    comm::CheckInputMode(mode);
}

void Win32CommControl::setRThreshold(int bytes) {
    comm::CheckRThreshold(bytes);
    m_rThreshold = bytes;
}

void Win32CommControl::setCommPort(int number) {
    comm::CheckCommPort(number, m_open);
    m_commPort = number;
}

void Win32CommControl::setPortOpen(bool open) {
    if (!open) {
        Close();
        return;
    }
    if (m_open)
        throw CommError(comm::ErrPortOpen, "the port is already open");
    m_line.Open(m_commPort, m_format);
    m_buffer.clear();
    m_open = true;
}

std::vector<std::uint8_t> Win32CommControl::Input() {
    std::vector<std::uint8_t> bytes;
    bytes.swap(m_buffer);
    return bytes;
}

void Win32CommControl::setInBufferCount(int count) {
    comm::CheckInBufferCount(count);
    m_buffer.clear();
    if (m_open)
        m_line.Purge();
}

void Win32CommControl::Append(const std::vector<std::uint8_t>& chunk) {
    if (!m_open)
        return;
    const std::size_t limit = static_cast<std::size_t>(std::max(InBufferSize, m_rThreshold));
    const std::size_t room = limit > m_buffer.size() ? limit - m_buffer.size() : 0;
    m_buffer.insert(m_buffer.end(), chunk.begin(),
                    chunk.begin() + static_cast<std::ptrdiff_t>(std::min(room, chunk.size())));
    if (m_rThreshold == 0 || m_buffer.size() < static_cast<std::size_t>(m_rThreshold))
        return;
    m_commEvent = comm::EvReceive;
    if (OnComm)
        OnComm();
}

void Win32CommControl::Close() {
    if (!m_open)
        return;
    m_line.Close();
    m_open = false;
    m_buffer.clear();
}
