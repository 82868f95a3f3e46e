#pragma once

#include "platform/SysTray.h"

#include <QSystemTrayIcon>

#include <memory>

// The icon shown with QSystemTrayIcon. A left click or a double click is button 1, the
// middle button 4; the context-menu gesture is button 2. The picture must be a QtPicture.
class QtSysTray final : public SysTrayControl {
public:
    QtSysTray();
    ~QtSysTray() override;
    bool intray() const override;
    void setIntray(bool inTray) override;
    void setTrayicon(const Picture& icon) override;
    std::string traytip() const override;
    void setTraytip(const std::string& tip) override;
    bool available() const override;

    // Whether Qt actually shows the icon now, and with which picture.
    bool iconShown() const;
    QIcon icon() const;
    // Button code of a tray activation; 0 for one that stands for no button.
    static short ButtonCode(QSystemTrayIcon::ActivationReason reason);

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
    bool m_inTray = false;
};
