#pragma once

#include <functional>
#include <string>

class Picture;

// The notification-area ("tray") icon of the monitor.
class SysTrayControl {
public:
    virtual ~SysTrayControl() = default;
    // True while the icon is in the notification area.
    virtual bool intray() const = 0;
    virtual void setIntray(bool inTray) = 0;
    // The icon's picture, by reference: the tray shows the picture it is given, not a copy.
    virtual void setTrayicon(const Picture& icon) = 0;
    virtual std::string traytip() const = 0;
    virtual void setTraytip(const std::string& tip) = 0;
    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;

    // Mouse event on the icon: button code (1 = a left-button action) and a value the
    // monitor does not use.
    std::function<void(short button, int value)> MouseEvent;
};
