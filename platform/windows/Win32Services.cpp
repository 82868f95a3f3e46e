#include "platform/windows/Win32Services.h"

#include "platform/windows/Utf16.h"

#include <stdexcept>

int Win32MessageBoxes::MsgBox(const std::string& prompt, int style, const std::string& title) {
    // The monitor's styles are MessageBoxW's flags; with Retry/Cancel the first button,
    // Retry, is the default. The box comes to the front even while the window is hidden.
    return MessageBoxW(m_owner, Utf16(prompt).c_str(),
                       Utf16(title.empty() ? AppTitle : title).c_str(),
                       static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void Win32Log::Warning(const std::string& message) {
    OutputDebugStringW(Utf16("corvolt: " + message + "\n").c_str());
}

std::string Win32NumberLocale::decimalSeparator() const {
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator,
                        static_cast<int>(std::size(separator))) == 0)
        return ".";
    return Utf8(separator);
}

Win32AppInstance::~Win32AppInstance() {
    if (m_mutex)
        CloseHandle(m_mutex);
}

bool Win32AppInstance::PrevInstance() {
    if (!m_mutex) {
        m_mutex = CreateMutexW(nullptr, FALSE, L"Local\\Orvane.Corvolt");
        if (!m_mutex)
            throw std::runtime_error("the instance mutex cannot be made");
        m_another = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    return m_another;
}

void Win32AppInstance::EndProcess() {
    ExitProcess(0);
}
