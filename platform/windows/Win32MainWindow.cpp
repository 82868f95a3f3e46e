#include "platform/windows/Win32MainWindow.h"

#include "platform/windows/LayoutPixels.h"
#include "platform/windows/Utf16.h"
#include "ui/MonitorForm.h"

#include <commctrl.h>

#include <cctype>
#include <string>

namespace {

// Without WS_CLIPCHILDREN: a group box paints only its border and caption, so the window
// paints the face colour behind it, also where a hidden frame leaves its place.
constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Its children take part in the dialog keyboard handling: Alt+F presses cmdFin.
constexpr DWORD WindowExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR Timer1Id = 1, Timer2Id = 2, Timer3Id = 3;

// Resource name of a picture: its file name without the extension, in capitals
// ("falla.png" is the icon resource FALLA).
std::wstring PictureResource(const char* file) {
    std::wstring name;
    for (const char* c = file; *c && *c != '.'; ++c)
        name += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(*c)));
    return name;
}

HICON LoadIconResource(HINSTANCE instance, const char* file, int pixels) {
    return static_cast<HICON>(
        LoadImageW(instance, PictureResource(file).c_str(), IMAGE_ICON, pixels, pixels, LR_SHARED));
}

// Class and style of the child window of a control, in the state it has when created.
// Labels wrap at word boundaries, are cut at their height, and show "&" as it is.
void ChildClass(const layout::Control& control, const wchar_t*& className, DWORD& style) {
    style = WS_CHILD | WS_CLIPSIBLINGS | (control.shown ? WS_VISIBLE : 0);
    switch (control.kind) {
    case layout::Kind::StatusBar:
        className = STATUSCLASSNAMEW;
        style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
        break;
    case layout::Kind::ProgressBar:
        className = PROGRESS_CLASSW;
        break;
    case layout::Kind::Button:
        className = WC_BUTTONW;
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    case layout::Kind::Frame:
        className = WC_BUTTONW;
        style |= BS_GROUPBOX | WS_CLIPCHILDREN;
        break;
    case layout::Kind::Label:
        className = WC_STATICW;
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case layout::Kind::Image:
        className = WC_STATICW;
        style |= SS_ICON | SS_REALSIZEIMAGE;
        break;
    }
}

// A frame is opaque: it fills its inside with the face colour, so that the frame shown in
// front covers the other one of the same place. Labels and images in a frame take their
// colours from the window, like those on the window itself; a group box would give them the
// colours of an edit field.
LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT inside;
        GetClientRect(frame, &inside);
        FillRect(reinterpret_cast<HDC>(wParam), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_CTLCOLORSTATIC:
        return SendMessageW(GetParent(frame), message, wParam, lParam);
    default:
        return DefSubclassProc(frame, message, wParam, lParam);
    }
}

// Position of the named control in the layout table.
std::size_t IndexOf(std::string_view name) {
    return static_cast<std::size_t>(&layout::Find(name) - layout::Controls.data());
}

} // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance)
    : m_instance(instance), m_window(CreateMainWindow(instance, this)),
      m_taskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")), m_children(CreateChildren()),
      m_icon(LoadIconResource(instance, layout::IconPicture, GetSystemMetrics(SM_CXICON)),
             LoadIconResource(instance, layout::IconPicture, GetSystemMetrics(SM_CXSMICON))),
      m_tray(m_window), m_timer1(m_window, Timer1Id), m_timer2(m_window, Timer2Id),
      m_timer3(m_window, Timer3Id), m_statusBar(Child("StatusBar1")),
      m_progressBar(Child("ProgressBar1")), m_boxAlarm(Child("BoxAlarm")),
      m_labelShut(Child("Label_Shut")), m_labelSave(Child("Label_Save")),
      m_boxInfo(Child("BoxInfo")), m_imgVl2(Child("Img_vl2")), m_imgVl1(Child("Img_Vl1")),
      m_labelStatus(Child("Label_Status")), m_labelFcia(Child("Label_Fcia")),
      m_labelVL(Child("Label_VL")) {
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Large));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon.Small));
    int statusParts[] = {-1};
    SendMessageW(Child("StatusBar1"), SB_SETPARTS, 1, reinterpret_cast<LPARAM>(statusParts));
    m_constructed = true;
}

Win32MainWindow::~Win32MainWindow() {
    m_constructed = false;
    DestroyWindow(m_window);
    if (m_font)
        DeleteObject(m_font);
}

HWND Win32MainWindow::CreateMainWindow(HINSTANCE instance, Win32MainWindow* self) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    RegisterClassExW(&windowClass);
    return CreateWindowExW(WindowExStyle, ClassName, Utf16(layout::Caption).c_str(), WindowStyle,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           nullptr, instance, self);
}

// Created front to back: a child created later lies behind the earlier ones. Every frame
// comes before its own children in the table.
Win32MainWindow::Children Win32MainWindow::CreateChildren() {
    Children children{};
    for (std::size_t i = 0; i < layout::Controls.size(); ++i) {
        const layout::Control& control = layout::Controls[i];
        const wchar_t* className = nullptr;
        DWORD style = 0;
        ChildClass(control, className, style);
        const HWND parent = std::string_view(control.container) == "frmMain"
                                ? m_window
                                : children[IndexOf(control.container)];
        children[i] =
            CreateWindowExW(0, className, Utf16(control.text).c_str(), style, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(INT_PTR{ControlId(i)}), m_instance, nullptr);
        if (control.kind == layout::Kind::Frame)
            SetWindowSubclass(children[i], FrameProc, 0, 0);
        if (control.picture)
            SendMessageW(children[i], STM_SETIMAGE, IMAGE_ICON,
                         reinterpret_cast<LPARAM>(LoadIconResource(
                             m_instance, control.picture, layout::PicturePixels(control))));
    }
    return children;
}

HWND Win32MainWindow::Child(std::string_view name) const {
    return m_children[IndexOf(name)];
}

SIZE Win32MainWindow::ApplyDpi(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                               static_cast<UINT>(dpi));
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    for (std::size_t i = 0; i < layout::Controls.size(); ++i) {
        const layout::PixelRect rect = layout::PixelRectOf(layout::Controls[i], dpi);
        SetWindowPos(m_children[i], nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(m_children[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (m_font)
        DeleteObject(m_font);
    m_font = font;
    InvalidateRect(m_window, nullptr, TRUE);

    RECT outer{0, 0, layout::TwipsToPixels(layout::ClientWidth, dpi),
               layout::TwipsToPixels(layout::ClientHeight, dpi)};
    AdjustWindowRectExForDpi(&outer, WindowStyle, FALSE, WindowExStyle, static_cast<UINT>(dpi));
    return {outer.right - outer.left, outer.bottom - outer.top};
}

void Win32MainWindow::ShowCentred() {
    const SIZE size = ApplyDpi(static_cast<int>(GetDpiForWindow(m_window)));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(m_window, nullptr, work.left + (work.right - work.left - size.cx) / 2,
                 work.top + (work.bottom - work.top - size.cy) / 2, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(m_window, SW_SHOWNORMAL);
    SetFocus(Child("cmdFin"));
}

void Win32MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    const SIZE size = ApplyDpi(dpi);
    SetWindowPos(m_window, nullptr, suggested.left, suggested.top, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

FormControls Win32MainWindow::Controls(CommControl& comm) {
    return FormControls{*this,     m_tray,   m_statusBar, m_progressBar, m_timer3,    m_cmdFin,
                        m_timer2,  m_timer1, comm,        m_boxAlarm,    m_labelShut, m_labelSave,
                        m_boxInfo, m_imgVl2, m_imgVl1,    m_labelStatus, m_labelFcia, m_labelVL};
}

int Win32MainWindow::WindowState() const {
    return IsIconic(m_window) ? vbMinimized : vbNormal;
}

void Win32MainWindow::setWindowState(int state) {
    if (state == WindowState())
        return;
    // WM_SIZE, and with it Resize, comes before ShowWindow returns.
    ShowWindow(m_window, state == vbMinimized ? SW_MINIMIZE : SW_RESTORE);
}

bool Win32MainWindow::Visible() const {
    return IsWindowVisible(m_window) != FALSE;
}

void Win32MainWindow::setVisible(bool visible) {
    ShowWindow(m_window, visible ? SW_SHOW : SW_HIDE);
}

std::intptr_t Win32MainWindow::hWnd() const {
    return reinterpret_cast<std::intptr_t>(m_window);
}

const Picture& Win32MainWindow::Icon() const {
    return m_icon;
}

void Win32MainWindow::OnTimer(UINT_PTR id) {
    switch (id) {
    case Timer1Id:
        m_timer1.Tick();
        break;
    case Timer2Id:
        m_timer2.Tick();
        break;
    case Timer3Id:
        m_timer3.Tick();
        break;
    default:
        break;
    }
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->m_constructed)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT Win32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == ControlId(IndexOf("cmdFin")) && HIWORD(wParam) == BN_CLICKED &&
            m_cmdFin.Click)
            m_cmdFin.Click();
        return 0;
    case WM_SIZE:
        if (Resize)
            Resize();
        return 0;
    case WM_SETFOCUS:
        // The exit button is the only control that takes the keyboard focus.
        SetFocus(Child("cmdFin"));
        return 0;
    case WM_CLOSE:
        if (QueryUnload)
            QueryUnload();
        else
            DestroyWindow(m_window);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam && EndSession)
            EndSession();
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case Win32SysTray::CallbackMessage:
        m_tray.OnCallback(LOWORD(lParam));
        return 0;
    default:
        if (message == m_taskbarCreated) {
            m_tray.Restore();
            return 0;
        }
        return DefWindowProcW(m_window, message, wParam, lParam);
    }
}
