#include "SerialPorts.h"

#include "platform/Log.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Numbers N of the nodes devRoot/<prefix>N, ascending.
std::vector<int> NodeNumbers(const std::string& devRoot, const std::string& prefix) {
    std::vector<int> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(devRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 6)
            continue;
        numbers.push_back(std::atoi(digits.c_str()));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool HasUart(const std::string& sysRoot, const std::string& name) {
    const fs::path tty = fs::path(sysRoot) / "class/tty" / name;
    std::error_code ec;
    if (!fs::exists(tty / "device", ec))
        return false;
    std::ifstream type(tty / "type");
    int value = -1;
    if (type >> value)
        return value != 0;
    return true;
}

} // namespace

std::vector<std::string> SerialPortPaths(const std::string& devRoot, const std::string& sysRoot) {
    std::vector<std::string> paths;
    for (int n : NodeNumbers(devRoot, "ttyS")) {
        const std::string name = "ttyS" + std::to_string(n);
        if (HasUart(sysRoot, name))
            paths.push_back(devRoot + "/" + name);
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (int n : NodeNumbers(devRoot, prefix))
            paths.push_back(devRoot + "/" + prefix + std::to_string(n));
    return paths;
}

namespace {

constexpr int LastComPort = 4;

std::string ComPortPath(int number, const std::vector<std::string>& paths) {
    if (number < 1 || number > LastComPort || static_cast<size_t>(number) > paths.size())
        return {};
    return paths[static_cast<size_t>(number) - 1];
}

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

std::string ComPortPath(int number, const std::string& devRoot, const std::string& sysRoot) {
    return ComPortPath(number, SerialPortPaths(devRoot, sysRoot));
}

std::string PortDescription(const std::string& path, const std::string& sysRoot) {
    const std::string name = fs::path(path).filename().string();
    if (name.rfind("ttyS", 0) == 0)
        return "built-in UART";
    std::string kind = name.rfind("ttyACM", 0) == 0 ? "USB modem" : "USB serial";
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path(sysRoot) / "class/tty" / name / "device", ec);
    for (; !ec && !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        const std::string vendor = ReadLine(dir / "idVendor");
        const std::string product = ReadLine(dir / "idProduct");
        if (!vendor.empty() && !product.empty())
            return kind + ", " + vendor + ":" + product;
    }
    return kind;
}

ComPortNames::ComPortNames(Log& log, std::string devRoot, std::string sysRoot)
    : log_(log), devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot)) {}

std::string ComPortNames::operator()(int number) const {
    const std::vector<std::string> paths = SerialPortPaths(devRoot_, sysRoot_);
    if (number == 1) {
        if (paths.empty())
            log_.Warning("COM1 to COM4: no serial port present");
        for (int n = 1; n <= LastComPort && static_cast<size_t>(n) <= paths.size(); ++n) {
            const std::string& port = paths[static_cast<size_t>(n) - 1];
            log_.Warning("COM" + std::to_string(n) + " = " + port + " (" +
                         PortDescription(port, sysRoot_) + ")");
        }
    }
    return ComPortPath(number, paths);
}
