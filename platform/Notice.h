#pragma once

#include <string>

// A message to the user outside the monitor's window (a desktop notification), shown until
// it is withdrawn or the user dismisses it. Neither call waits for the desktop; where no
// one can show it, nothing happens.
class Notice {
public:
    virtual ~Notice() = default;
    // Shows the text (UTF-8). While the notice is shown a further call changes nothing.
    virtual void Show(const std::string& text) = 0;
    virtual void Withdraw() = 0;
};
