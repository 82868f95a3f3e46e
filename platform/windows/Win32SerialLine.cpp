#include "platform/windows/Win32SerialLine.h"

#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr UINT WM_LINE_CHUNK = WM_APP + 1;  // lParam: a std::vector<uint8_t>* to take over
constexpr UINT WM_LINE_FAILED = WM_APP + 2; // lParam: the Win32 error of the failed read
constexpr wchar_t SinkClass[] = L"Corvolt.SerialLine";

using Chunk = std::vector<std::uint8_t>;

// Reads return once 50 ms pass without a further byte after the first; with no byte at
// all they wait. (A zero-wait setting would make the reader spin on real Windows.)
constexpr COMMTIMEOUTS ReadTimeouts{50, 0, 0, 0, 0};

[[noreturn]] void ThrowOpenError(int number, DWORD error) {
    throw CommError(CommErrorNumber(error),
                    "COM" + std::to_string(number) + ": Win32 error " + std::to_string(error));
}

} // namespace

Win32SerialLine::Win32SerialLine() {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = SinkProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = SinkClass;
    RegisterClassExW(&windowClass); // fails harmlessly when already registered
    m_sink =
        CreateWindowExW(0, SinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    SetWindowLongPtrW(m_sink, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Win32SerialLine::~Win32SerialLine() {
    Close();
    DestroyWindow(m_sink);
    CloseHandle(m_stop);
}

void Win32SerialLine::Open(int number, const comm::LineFormat& format) {
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(number);
    m_port = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    if (m_port == INVALID_HANDLE_VALUE)
        ThrowOpenError(number, GetLastError());
    try {
        Configure(number, format);
        ++m_generation;
        ResetEvent(m_stop);
        m_reader = std::thread(ReadLoop, m_port, m_stop, m_sink, m_generation);
    } catch (const std::system_error&) {
        CloseHandle(m_port);
        m_port = INVALID_HANDLE_VALUE;
        throw CommError(comm::ErrOpenFailed, "COM" + std::to_string(number) + ": no reader");
    } catch (...) {
        CloseHandle(m_port);
        m_port = INVALID_HANDLE_VALUE;
        throw;
    }
}

void Win32SerialLine::Configure(int number, const comm::LineFormat& format) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(m_port, &dcb))
        ThrowOpenError(number, GetLastError());
    static constexpr BYTE parities[] = {NOPARITY, EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY};
    static constexpr BYTE stopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
    dcb.BaudRate = static_cast<DWORD>(format.baudRate);
    dcb.ByteSize = static_cast<BYTE>(format.dataBits);
    dcb.Parity = parities[static_cast<int>(format.parity)];
    dcb.StopBits = stopBits[static_cast<int>(format.stopBits)];
    dcb.fBinary = TRUE;
    dcb.fParity = format.parity != comm::Parity::None;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    COMMTIMEOUTS timeouts = ReadTimeouts;
    if (!SetCommState(m_port, &dcb) || !SetCommTimeouts(m_port, &timeouts))
        ThrowOpenError(number, GetLastError());
    SetupComm(m_port, 1024, 512); // a hint the driver may ignore
    PurgeComm(m_port, PURGE_RXCLEAR);
}

void Win32SerialLine::Close() {
    if (m_port == INVALID_HANDLE_VALUE)
        return;
    // The reader ends before its handle is closed; what it posted is now stale.
    SetEvent(m_stop);
    if (m_reader.joinable())
        m_reader.join();
    ++m_generation;
    CloseHandle(m_port);
    m_port = INVALID_HANDLE_VALUE;
}

void Win32SerialLine::Purge() {
    if (m_port != INVALID_HANDLE_VALUE)
        PurgeComm(m_port, PURGE_RXCLEAR);
}

void Win32SerialLine::ReadLoop(HANDLE port, HANDLE stop, HWND sink, WPARAM generation) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::uint8_t buffer[256];
    for (;;) {
        ResetEvent(overlapped.hEvent);
        DWORD count = 0;
        DWORD error = 0;
        if (!ReadFile(port, buffer, sizeof buffer, &count, &overlapped)) {
            error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                const HANDLE waits[] = {stop, overlapped.hEvent};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                    CancelIo(port);
                    GetOverlappedResult(port, &overlapped, &count, TRUE);
                    break;
                }
                error = GetOverlappedResult(port, &overlapped, &count, FALSE) ? 0 : GetLastError();
            }
        }
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            break;
        if (error != 0) {
            PostMessageW(sink, WM_LINE_FAILED, generation, static_cast<LPARAM>(error));
            break;
        }
        if (count == 0)
            continue;
        auto chunk = std::make_unique<Chunk>(buffer, buffer + count);
        if (PostMessageW(sink, WM_LINE_CHUNK, generation, reinterpret_cast<LPARAM>(chunk.get())))
            chunk.release(); // the sink owns it now
    }
    CloseHandle(overlapped.hEvent);
}

LRESULT CALLBACK Win32SerialLine::SinkProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* line = reinterpret_cast<Win32SerialLine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_LINE_CHUNK: {
        const std::unique_ptr<Chunk> chunk(reinterpret_cast<Chunk*>(lParam));
        if (line && wParam == line->m_generation && line->Received)
            line->Received(*chunk);
        return 0;
    }
    case WM_LINE_FAILED:
        if (line && wParam == line->m_generation && line->Failed)
            line->Failed();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
