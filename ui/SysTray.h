#pragma once

#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

// The notification-area ("tray") icon of the monitor.
class SysTrayControl {
public:
    virtual ~SysTrayControl() = default;
    // True while the icon is in the notification area.
    virtual bool intray() const = 0;
    virtual void setIntray(bool inTray) = 0;
    virtual void setTrayicon(const QIcon& icon) = 0;
    virtual QString traytip() const = 0;
    virtual void setTraytip(const QString& tip) = 0;
    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;

    // Mouse event on the icon: button code (1 = a left-button action) and a value the
    // monitor does not use.
    std::function<void(short button, int value)> MouseEvent;
};

// The icon shown with QSystemTrayIcon. A left click or a double click is button 1, the
// middle button 4; the context-menu gesture is button 2.
class QtSysTray final : public SysTrayControl {
public:
    QtSysTray();
    ~QtSysTray() override;
    bool intray() const override;
    void setIntray(bool inTray) override;
    void setTrayicon(const QIcon& icon) override;
    QString traytip() const override;
    void setTraytip(const QString& tip) override;
    bool available() const override;

    // Whether Qt actually shows the icon now.
    bool iconShown() const;
    // Button code of a tray activation; 0 for one that stands for no button.
    static short ButtonCode(QSystemTrayIcon::ActivationReason reason);

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
    bool m_inTray = false;
};
