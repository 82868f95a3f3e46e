#pragma once
// The desktop's services for the monitor on Windows: message boxes, the log, the number
// locale and the single instance.

#include "platform/AppInstance.h"
#include "platform/Log.h"
#include "platform/MessageBoxes.h"
#include "platform/SystemInfo.h"

#include <windows.h>

// MessageBoxW owned by the monitor's window: the styles and answers are Win32's own.
class Win32MessageBoxes final : public MessageBoxes {
public:
    explicit Win32MessageBoxes(HWND owner) : m_owner(owner) {}
    int MsgBox(const std::string& prompt, int style, const std::string& title = {}) override;

private:
    HWND m_owner;
};

// Lines for the debugger's output (OutputDebugStringW).
class Win32Log final : public Log {
public:
    void Warning(const std::string& message) override;
};

// The decimal separator of the user's regional settings.
class Win32NumberLocale final : public NumberLocale {
public:
    std::string decimalSeparator() const override;
};

// One monitor per session: a named mutex in the session's Local\ namespace, held until the
// process ends. The process ends through ExitProcess.
class Win32AppInstance final : public AppInstance {
public:
    ~Win32AppInstance() override;
    bool PrevInstance() override;

protected:
    void EndProcess() override;

private:
    HANDLE m_mutex = nullptr;
    bool m_another = false;
};
