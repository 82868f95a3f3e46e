#include "platform/CommControl.h"

namespace comm {

void CheckInputMode(int mode) {
    if (mode != 0 && mode != InputModeBinary)
        throw CommError(ErrInvalidValue, "input mode must be 0 or 1");
}

void CheckRThreshold(int bytes) {
    if (bytes < 0)
        throw CommError(ErrInvalidValue, "the receive threshold cannot be negative");
}

void CheckCommPort(int number, bool portOpen) {
    if (portOpen)
        throw CommError(ErrPortOpen, "the port number cannot change while the port is open");
    if (number < 1 || number > MaxCommPort)
        throw CommError(ErrInvalidValue, "port number out of range");
}

void CheckInBufferCount(int count) {
    if (count != 0)
        throw CommError(ErrInvalidValue, "the input buffer can only be emptied");
}

} // namespace comm
