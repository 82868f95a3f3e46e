#pragma once

#include "platform/CommControl.h"

#include <functional>

// The error number a serial-control operation fails with; 0 when it succeeds.
inline int ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CommError& error) {
        return error.Number;
    }
    return 0;
}
