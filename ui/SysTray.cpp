#include "ui/SysTray.h"

#include <QSystemTrayIcon>

QtSysTray::QtSysTray() : m_icon(std::make_unique<QSystemTrayIcon>()) {
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         const short button = ButtonCode(reason);
                         if (button != 0 && MouseEvent)
                             MouseEvent(button, 0);
                     });
}

short QtSysTray::ButtonCode(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        return 1;
    case QSystemTrayIcon::Context:
        return 2;
    case QSystemTrayIcon::MiddleClick:
        return 4;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return 0;
}

bool QtSysTray::iconShown() const {
    return m_icon->isVisible();
}

QtSysTray::~QtSysTray() = default;

bool QtSysTray::intray() const {
    return m_inTray;
}

void QtSysTray::setIntray(bool inTray) {
    m_inTray = inTray;
    // Qt shows no icon without a picture: it then appears once the picture is set.
    m_icon->setVisible(inTray && !m_icon->icon().isNull());
}

void QtSysTray::setTrayicon(const QIcon& icon) {
    m_icon->setIcon(icon);
    setIntray(m_inTray);
}

QString QtSysTray::traytip() const {
    return m_icon->toolTip();
}

void QtSysTray::setTraytip(const QString& tip) {
    m_icon->setToolTip(tip);
}

bool QtSysTray::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}
