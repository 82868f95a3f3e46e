#pragma once

#include <string>

// Where the monitor reports what it cannot show in its window (the session's journal,
// the debugger's output). One line per message, English, no trailing newline.
class Log {
public:
    virtual ~Log() = default;
    virtual void Warning(const std::string& message) = 0;
};
