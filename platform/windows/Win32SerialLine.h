#pragma once

#include "platform/windows/Win32CommControl.h"

#include <windows.h>

#include <thread>

// COMn through CreateFileW with overlapped reads. One reader thread per open port waits for
// bytes and posts every chunk to a message-only window of the UI thread, which hands it on
// through Received; the reader never touches the control's buffer. Each opening gets a new
// generation number, and messages of an earlier generation are dropped, so nothing read
// before a Close reaches the control after it.
class Win32SerialLine final : public SerialLine {
public:
    Win32SerialLine();
    ~Win32SerialLine() override;
    Win32SerialLine(const Win32SerialLine&) = delete;
    Win32SerialLine& operator=(const Win32SerialLine&) = delete;

    void Open(int number, const comm::LineFormat& format) override;
    void Close() override;
    void Purge() override;

private:
    static LRESULT CALLBACK SinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Configure(int number, const comm::LineFormat& format);
    static void ReadLoop(HANDLE port, HANDLE stop, HWND sink, WPARAM generation);

    HWND m_sink = nullptr;
    HANDLE m_port = INVALID_HANDLE_VALUE;
    HANDLE m_stop = nullptr; // set to end the reader
    std::thread m_reader;
    WPARAM m_generation = 0;
};
