#pragma once
// The control interfaces over Win32 child windows. Each adapter refers to a window that
// frmMain owns; texts cross over as UTF-8.

#include "platform/Controls.h"
#include "platform/Timer.h"

#include <windows.h>

// The window's icon at the sizes Windows asks for: large for Alt+Tab, small for the title
// bar and the tray.
class Win32Picture final : public Picture {
public:
    Win32Picture(HICON large, HICON small) : Large(large), Small(small) {}
    HICON Large;
    HICON Small;
};

// Shown or hidden: the window's own visibility flag, whatever its parent shows.
template <typename Base> class Win32Shown : public Base {
public:
    explicit Win32Shown(HWND window) : m_window(window) {}
    bool Visible() const override {
        return (GetWindowLongPtrW(m_window, GWL_STYLE) & WS_VISIBLE) != 0;
    }
    void setVisible(bool visible) override { ShowWindow(m_window, visible ? SW_SHOW : SW_HIDE); }

protected:
    HWND m_window;
};

// A frame or an image.
using Win32Visual = Win32Shown<Visual>;

class Win32Label final : public Win32Shown<Label> {
public:
    using Win32Shown<Label>::Win32Shown;
    std::string Caption() const override;
    void setCaption(const std::string& text) override;
};

// A status bar with one part across its whole width, so that WM_GETTEXT reads its text.
class Win32StatusBar final : public StatusBar {
public:
    explicit Win32StatusBar(HWND bar) : m_bar(bar) {}
    std::string SimpleText() const override { return m_text; }
    void setSimpleText(const std::string& text) override;

private:
    HWND m_bar;
    std::string m_text;
};

class Win32ProgressBar final : public RoundingProgressBar {
public:
    explicit Win32ProgressBar(HWND bar) : m_bar(bar) {}

protected:
    void DrawRange(int min, int max) override;
    void DrawValue(int value) override;

private:
    HWND m_bar;
};

// A window timer (SetTimer) of the window `owner` under the id `id`; the window's WM_TIMER
// for that id calls Tick.
class Win32Timer final : public Timer {
public:
    Win32Timer(HWND owner, UINT_PTR id) : m_owner(owner), m_id(id) {}
    void Tick() { Elapsed(); }

protected:
    void StartCountdown(int milliseconds) override;
    void StopCountdown() override;

private:
    HWND m_owner;
    UINT_PTR m_id;
};
