#pragma once

#include "platform/Log.h"
#include "platform/SystemInfo.h"

// Messages to Qt's log (qWarning), which ends up in the session's journal.
class QtLog final : public Log {
public:
    void Warning(const std::string& message) override;
};

// The decimal separator of the system locale (QLocale::system()).
class QtNumberLocale final : public NumberLocale {
public:
    std::string decimalSeparator() const override;
};
