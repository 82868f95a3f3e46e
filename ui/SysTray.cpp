#include "ui/SysTray.h"

#include <QSystemTrayIcon>

QtSysTray::QtSysTray() : m_icon(std::make_unique<QSystemTrayIcon>()) {
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         short button = 0;
                         switch (reason) {
                         case QSystemTrayIcon::Trigger:
                         case QSystemTrayIcon::DoubleClick:
                             button = 1;
                             break;
                         case QSystemTrayIcon::Context:
                             button = 2;
                             break;
                         case QSystemTrayIcon::MiddleClick:
                             button = 4;
                             break;
                         case QSystemTrayIcon::Unknown:
                             return;
                         }
                         if (MouseEvent)
                             MouseEvent(button, 0);
                     });
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
