#include "SerialPorts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Numbers N of the nodes devRoot/<prefix>N, ascending.
std::vector<int> NodeNumbers(const std::string& devRoot, const std::string& prefix)
{
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

bool HasUart(const std::string& sysRoot, const std::string& name)
{
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

std::vector<std::string> SerialPortPaths(const std::string& devRoot, const std::string& sysRoot)
{
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

std::string ComPortPath(int number, const std::string& devRoot, const std::string& sysRoot)
{
    const std::vector<std::string> paths = SerialPortPaths(devRoot, sysRoot);
    if (number < 1 || number > 4 || static_cast<size_t>(number) > paths.size())
        return {};
    return paths[static_cast<size_t>(number) - 1];
}
