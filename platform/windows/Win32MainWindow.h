#pragma once

#include "platform/Controls.h"
#include "platform/windows/Win32Controls.h"
#include "platform/windows/Win32SysTray.h"
#include "ui/Layout.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

class CommControl;
struct FormControls;

// The monitor's window in Win32: a top-level window of the class "Corvolt.frmMain" built
// from the layout table at the window's DPI, with adapters that let the monitor drive its
// child windows, the window's three timers and its tray icon. Control i of the table has
// the id ControlId(i). A change of the window state raises Resize; the close command raises
// QueryUnload; the end of the session raises EndSession.
class Win32MainWindow final : public FormWindow {
public:
    static constexpr wchar_t ClassName[] = L"Corvolt.frmMain";
    static constexpr int ControlId(std::size_t index) { return 100 + static_cast<int>(index); }

    explicit Win32MainWindow(HINSTANCE instance);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // The window's controls for the monitor, with the serial control the program provides.
    FormControls Controls(CommControl& comm);
    HWND Handle() const { return m_window; }
    // Shows the window for the first time: centred on its screen, in the normal state.
    void ShowCentred();

    // FormWindow.
    int WindowState() const override;
    void setWindowState(int state) override;
    bool Visible() const override;
    void setVisible(bool visible) override;
    std::intptr_t hWnd() const override;
    const Picture& Icon() const override;

    std::function<void()> EndSession;

private:
    using Children = std::array<HWND, layout::Controls.size()>;

    static HWND CreateMainWindow(HINSTANCE instance, Win32MainWindow* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    Children CreateChildren();
    HWND Child(std::string_view name) const;
    // Places every child and sets the message font for dpi; returns the window's outer size.
    SIZE ApplyDpi(int dpi);
    void OnTimer(UINT_PTR id);
    void OnDpiChanged(int dpi, const RECT& suggested);

    bool m_constructed = false; // messages reach HandleMessage only once this is true
    HINSTANCE m_instance;
    HWND m_window;
    UINT m_taskbarCreated;
    HFONT m_font = nullptr;
    const Children m_children;
    Win32Picture m_icon;
    Win32SysTray m_tray;
    Win32Timer m_timer1;
    Win32Timer m_timer2;
    Win32Timer m_timer3;
    Win32StatusBar m_statusBar;
    Win32ProgressBar m_progressBar;
    CommandButton m_cmdFin;
    Win32Visual m_boxAlarm;
    Win32Label m_labelShut;
    Win32Label m_labelSave;
    Win32Visual m_boxInfo;
    Win32Visual m_imgVl2;
    Win32Visual m_imgVl1;
    Win32Label m_labelStatus;
    Win32Label m_labelFcia;
    Win32Label m_labelVL;
};
