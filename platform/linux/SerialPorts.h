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

class Log;

// What a port is, for the log: "built-in UART", "USB serial, 1a86:7523" (vendor:product
// from the first device up the sysfs chain that has them), "USB modem, 2341:0043".
std::string PortDescription(const std::string& path, const std::string& sysRoot);

// The device opened for COM<number>, mapped afresh at every opening. The search starts
// every sweep at COM1, so asking for COM1 logs the whole mapping: once per sweep.
class ComPortNames {
public:
    explicit ComPortNames(Log& log, std::string devRoot = "/dev", std::string sysRoot = "/sys");
    std::string operator()(int number) const;

private:
    Log& log_;
    std::string devRoot_;
    std::string sysRoot_;
};
