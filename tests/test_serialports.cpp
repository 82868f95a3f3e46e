#include "platform/linux/SerialPorts.h"

#include "platform/Log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Tree {
    fs::path root;
    Tree() {
        root = fs::temp_directory_path() / ("serialports-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "dev");
        fs::create_directories(root / "sys/class/tty");
    }
    ~Tree() { fs::remove_all(root); }
    std::string Dev() const { return (root / "dev").string(); }
    std::string Sys() const { return (root / "sys").string(); }
    // A node under dev; for ttyS a sysfs entry with the given UART type (-1 = no device).
    void Add(const std::string& name, int uartType = 4) {
        std::ofstream(root / "dev" / name).put('\0');
        if (name.rfind("ttyS", 0) != 0 || uartType < 0)
            return;
        const fs::path tty = root / "sys/class/tty" / name;
        fs::create_directories(tty / "device");
        std::ofstream(tty / "type") << uartType << "\n";
    }
};

struct Case {
    const char* title;
    std::vector<std::pair<std::string, int>> nodes;
    std::vector<std::string> expected; // COM1.. in order, names under dev
};

TEST(SerialPorts, MapsPresentPortsInOrder) {
    const std::vector<Case> cases = {
        {"built-in only", {{"ttyS1", 4}, {"ttyS0", 4}}, {"ttyS0", "ttyS1"}},
        {"adapter only", {{"ttyUSB0", 0}}, {"ttyUSB0"}},
        {"both", {{"ttyACM0", 0}, {"ttyUSB0", 0}, {"ttyS0", 4}}, {"ttyS0", "ttyUSB0", "ttyACM0"}},
        {"ttyS without UART",
         {{"ttyS0", 4}, {"ttyS1", 0}, {"ttyS2", -1}, {"ttyUSB0", 0}},
         {"ttyS0", "ttyUSB0"}},
        {"numeric order", {{"ttyUSB10", 0}, {"ttyUSB2", 0}}, {"ttyUSB2", "ttyUSB10"}},
    };
    for (const Case& c : cases) {
        Tree tree;
        for (const auto& [name, type] : c.nodes)
            tree.Add(name, type);
        std::vector<std::string> expected;
        for (const std::string& name : c.expected)
            expected.push_back(tree.Dev() + "/" + name);
        EXPECT_EQ(SerialPortPaths(tree.Dev(), tree.Sys()), expected) << c.title;
        for (int com = 1; com <= 4; ++com)
            EXPECT_EQ(ComPortPath(com, tree.Dev(), tree.Sys()),
                      com <= static_cast<int>(expected.size()) ? expected[com - 1] : "")
                << c.title << " COM" << com;
    }
}

TEST(SerialPorts, AdapterPluggedInMidSearchIsFoundNextLookup) {
    Tree tree;
    tree.Add("ttyS0");
    EXPECT_EQ(ComPortPath(2, tree.Dev(), tree.Sys()), "");
    tree.Add("ttyUSB0");
    EXPECT_EQ(ComPortPath(2, tree.Dev(), tree.Sys()), tree.Dev() + "/ttyUSB0");
}

struct Lines final : Log {
    std::vector<std::string> lines;
    void Warning(const std::string& message) override { lines.push_back(message); }
};

TEST(SerialPorts, MappingIsLoggedWhenTheSweepStartsAtCom1) {
    Tree tree;
    Lines log;
    const ComPortNames names(log, tree.Dev(), tree.Sys());
    EXPECT_EQ(names(1), "");
    EXPECT_EQ(log.lines, std::vector<std::string>{"COM1 to COM4: no serial port present"});

    tree.Add("ttyS0");
    tree.Add("ttyUSB0");
    tree.Add("ttyACM0");
    // The adapter's vendor and product sit on the USB device two levels above the tty.
    const fs::path usb = tree.root / "sys/devices/usb1/1-1";
    fs::create_directories(usb / "1-1:1.0/ttyUSB0");
    std::ofstream(usb / "idVendor") << "1a86\n";
    std::ofstream(usb / "idProduct") << "7523\n";
    fs::create_directories(tree.root / "sys/class/tty/ttyUSB0");
    fs::create_directory_symlink(usb / "1-1:1.0/ttyUSB0",
                                 tree.root / "sys/class/tty/ttyUSB0/device");

    log.lines.clear();
    for (int com = 2; com <= 4; ++com)
        names(com);
    EXPECT_TRUE(log.lines.empty()) << "only the sweep's first port logs";
    EXPECT_EQ(names(1), tree.Dev() + "/ttyS0");
    const std::vector<std::string> expected = {
        "COM1 = " + tree.Dev() + "/ttyS0 (built-in UART)",
        "COM2 = " + tree.Dev() + "/ttyUSB0 (USB serial, 1a86:7523)",
        "COM3 = " + tree.Dev() + "/ttyACM0 (USB modem)",
    };
    EXPECT_EQ(log.lines, expected);
}

} // namespace
