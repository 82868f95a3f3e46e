#include "platform/windows/Win32SysTray.h"

#include "platform/windows/Utf16.h"
#include "platform/windows/Win32Controls.h"

#include <cwchar>

Win32SysTray::Win32SysTray(HWND owner) : m_owner(owner) {}

Win32SysTray::~Win32SysTray() {
    setIntray(false);
}

NOTIFYICONDATAW Win32SysTray::Data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_owner;
    data.uID = 1;
    data.uFlags = flags;
    data.uCallbackMessage = CallbackMessage;
    data.hIcon = m_icon;
    std::wcsncpy(data.szTip, Utf16(m_tip).c_str(), std::size(data.szTip) - 1);
    return data;
}

void Win32SysTray::setIntray(bool inTray) {
    m_inTray = inTray;
    Update();
}

void Win32SysTray::setTrayicon(const Picture& icon) {
    m_icon = dynamic_cast<const Win32Picture&>(icon).Small;
    Update();
}

void Win32SysTray::setTraytip(const std::string& tip) {
    m_tip = tip;
    Update();
}

// Adds, changes or removes the icon to match intray. Like the Qt tray, an icon without a
// picture is not shown until it gets one.
void Win32SysTray::Update() {
    const bool show = m_inTray && m_icon;
    if (show) {
        NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
        if (Shell_NotifyIconW(m_added ? NIM_MODIFY : NIM_ADD, &data))
            m_added = true;
    } else if (m_added) {
        NOTIFYICONDATAW data = Data(0);
        Shell_NotifyIconW(NIM_DELETE, &data);
        m_added = false;
    }
}

void Win32SysTray::Restore() {
    m_added = false;
    Update();
}

short Win32SysTray::ButtonCode(UINT mouseMessage) {
    switch (mouseMessage) {
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        return 1;
    case WM_RBUTTONUP:
        return 2;
    case WM_MBUTTONUP:
        return 4;
    default:
        return 0;
    }
}

void Win32SysTray::OnCallback(UINT mouseMessage) {
    const short button = ButtonCode(mouseMessage);
    if (button != 0 && MouseEvent)
        MouseEvent(button, 0);
}
