#pragma once

#include "platform/SysTray.h"

#include <windows.h>

#include <shellapi.h>

// The notification-area icon through Shell_NotifyIconW, owned by the window `owner`, which
// passes its CallbackMessage to OnCallback and Explorer's "TaskbarCreated" to Restore.
// A left-button click or double click is button 1, the right button 2, the middle one 4.
class Win32SysTray final : public SysTrayControl {
public:
    static constexpr UINT CallbackMessage = WM_APP + 10;

    explicit Win32SysTray(HWND owner);
    ~Win32SysTray() override;

    bool intray() const override { return m_inTray; }
    void setIntray(bool inTray) override;
    void setTrayicon(const Picture& icon) override;
    std::string traytip() const override { return m_tip; }
    void setTraytip(const std::string& tip) override;
    bool available() const override { return true; }

    // The mouse message Windows reports for the icon (lParam of CallbackMessage).
    void OnCallback(UINT mouseMessage);
    // Explorer started again with an empty notification area: the icon is added anew.
    void Restore();
    // Button code of a mouse message; 0 for one that stands for no button action.
    static short ButtonCode(UINT mouseMessage);

private:
    NOTIFYICONDATAW Data(UINT flags) const;
    void Update();

    HWND m_owner;
    HICON m_icon = nullptr;
    std::string m_tip;
    bool m_inTray = false;
    bool m_added = false;
};
