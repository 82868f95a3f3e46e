#include "platform/qt/QtSysTray.h"

#include "platform/qt/QtControls.h"

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

QIcon QtSysTray::icon() const {
    return m_icon->icon();
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

void QtSysTray::setTrayicon(const Picture& icon) {
    m_icon->setIcon(dynamic_cast<const QtPicture&>(icon).icon());
    setIntray(m_inTray);
}

std::string QtSysTray::traytip() const {
    return m_icon->toolTip().toStdString();
}

void QtSysTray::setTraytip(const std::string& tip) {
    m_icon->setToolTip(QString::fromStdString(tip));
}

bool QtSysTray::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}
