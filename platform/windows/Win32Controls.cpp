#include "platform/windows/Win32Controls.h"

#include "platform/windows/Utf16.h"

#include <commctrl.h>

std::string Win32Label::Caption() const {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(m_window, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
}

void Win32Label::setCaption(const std::string& text) {
    SetWindowTextW(m_window, Utf16(text).c_str());
}

void Win32StatusBar::setSimpleText(const std::string& text) {
    m_text = text;
    SendMessageW(m_bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Utf16(text).c_str()));
}

void Win32ProgressBar::DrawRange(int min, int max) {
    SendMessageW(m_bar, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
}

void Win32ProgressBar::DrawValue(int value) {
    SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void Win32Timer::StartCountdown(int milliseconds) {
    // Setting the timer again under the same id restarts its countdown.
    SetTimer(m_owner, m_id, static_cast<UINT>(milliseconds), nullptr);
}

void Win32Timer::StopCountdown() {
    KillTimer(m_owner, m_id);
}
