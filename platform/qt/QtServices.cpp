#include "platform/qt/QtServices.h"

#include <QLocale>
#include <QtGlobal>

void QtLog::Warning(const std::string& message) {
    qWarning("%s", message.c_str());
}

std::string QtNumberLocale::decimalSeparator() const {
    return QLocale::system().decimalPoint().toStdString();
}
