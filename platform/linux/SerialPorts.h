#pragma once

#include <string>
#include <vector>

// Linux names behind COM1..COM4. A built-in UART (ttySN) counts when sysfs shows a device
// behind it and its "type" is not 0 (0 = no UART at that address); then ttyUSB*, then
// ttyACM*, each by number. Only nodes present under devRoot count. Roots are parameters so
// tests can use a fake tree; call it at every opening so an adapter plugged in is found.
std::vector<std::string> SerialPortPaths(const std::string& devRoot, const std::string& sysRoot);

// Device path for COM<number> (1-based), or "" when no such port is present.
std::string ComPortPath(int number, const std::string& devRoot, const std::string& sysRoot);
