// The Win32 pieces that need no window: the serial control's buffering over a fake line,
// the error numbers of a failed opening, the layout in pixels and the tray's button codes.
#include "fakes/CommErrors.h"
#include "platform/windows/LayoutPixels.h"
#include "platform/windows/Win32CommControl.h"
#include "platform/windows/Win32SysTray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A line that records what the control asks of it and delivers what the test hands it.
struct FakeLine final : SerialLine {
    void Open(int number, const comm::LineFormat& format) override {
        if (openError != 0)
            throw CommError(CommErrorNumber(openError), "refused");
        calls.push_back("open COM" + std::to_string(number));
        opened = format;
    }
    void Close() override { calls.push_back("close"); }
    void Purge() override { calls.push_back("purge"); }

    std::uint32_t openError = 0;
    comm::LineFormat opened;
    std::vector<std::string> calls;
};

struct Win32CommControlTest : ::testing::Test {
    Win32CommControlTest() {
        comm.OnComm = [this] { events.push_back(comm.Input()); };
        comm.setSettings("9600,n,8,1");
        comm.setRThreshold(10);
    }
    FakeLine line;
    Win32CommControl comm{line};
    std::vector<Bytes> events;
};

TEST(CommErrorNumber, MapsWin32ErrorsOfAnOpening) {
    const struct {
        std::uint32_t error;
        int number;
    } rows[] = {
        {2, comm::ErrNoSuchPort},   {3, comm::ErrNoSuchPort},  {5, comm::ErrPortInUse},
        {1, comm::ErrOpenFailed},   {32, comm::ErrOpenFailed}, {87, comm::ErrOpenFailed},
        {121, comm::ErrOpenFailed},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CommErrorNumber(row.error), row.number) << row.error;
}

TEST_F(Win32CommControlTest, RaisesTheEventOnceThresholdBytesAreBuffered) {
    comm.setCommPort(3);
    comm.setSettings("19200,e,7,2");
    comm.setPortOpen(true);
    EXPECT_EQ(line.calls, std::vector<std::string>{"open COM3"});
    EXPECT_EQ(line.opened.baudRate, 19200);
    EXPECT_EQ(line.opened.parity, comm::Parity::Even);

    line.Received(Bytes{'&', '&', '&', 1});
    line.Received(Bytes{2, 3, 4, 5, 6});
    EXPECT_TRUE(events.empty());
    line.Received(Bytes{7, 8});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (Bytes{'&', '&', '&', 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(comm.CommEvent(), comm::EvReceive);
    EXPECT_TRUE(comm.Input().empty());
}

TEST_F(Win32CommControlTest, KeepsAtMostTheBufferSize) {
    comm.OnComm = nullptr;
    comm.setPortOpen(true);
    line.Received(Bytes(Win32CommControl::InBufferSize - 4, 'a'));
    line.Received(Bytes(10, 'b'));
    const Bytes input = comm.Input();
    ASSERT_EQ(input.size(), static_cast<std::size_t>(Win32CommControl::InBufferSize));
    EXPECT_EQ(input.back(), 'b');
}

TEST_F(Win32CommControlTest, BytesOfAClosedPortAndAFailedLineAreDropped) {
    line.Received(Bytes(10, 'x')); // not open yet
    comm.setPortOpen(true);
    line.Received(Bytes(4, 'y'));
    line.Failed(); // the other end hung up: closed quietly, buffer emptied
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(line.calls, (std::vector<std::string>{"open COM1", "close"}));
    line.Received(Bytes(10, 'z'));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(comm.Input().empty());
}

TEST_F(Win32CommControlTest, EmptyingTheBufferPurgesAnOpenLine) {
    comm.setInBufferCount(0); // closed: the line is not touched
    comm.setPortOpen(true);
    line.Received(Bytes(5, 'a'));
    comm.setInBufferCount(0);
    comm.setPortOpen(false);
    comm.setPortOpen(false);
    EXPECT_EQ(line.calls, (std::vector<std::string>{"open COM1", "purge", "close"}));
    EXPECT_TRUE(comm.Input().empty());
}

TEST_F(Win32CommControlTest, RefusedOpeningsAndInvalidValuesGiveTheirNumbers) {
    line.openError = 2;
    EXPECT_EQ(ErrorNumberOf([&] { comm.setPortOpen(true); }), comm::ErrNoSuchPort);
    EXPECT_FALSE(comm.PortOpen());
    line.openError = 0;
    comm.setPortOpen(true);
    const struct {
        std::function<void()> action;
        int number;
    } rows[] = {
        {[&] { comm.setPortOpen(true); }, comm::ErrPortOpen},
        {[&] { comm.setCommPort(2); }, comm::ErrPortOpen},
        {[&] { comm.setSettings("9600,x,8,1"); }, comm::ErrInvalidValue},
        {[&] { comm.setInputMode(2); }, comm::ErrInvalidValue},
        {[&] { comm.setRThreshold(-1); }, comm::ErrInvalidValue},
        {[&] { comm.setInBufferCount(3); }, comm::ErrInvalidValue},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ErrorNumberOf(row.action), row.number);
    comm.setPortOpen(false);
    EXPECT_EQ(ErrorNumberOf([&] { comm.setCommPort(0); }), comm::ErrInvalidValue);
    EXPECT_EQ(ErrorNumberOf([&] { comm.setCommPort(256); }), comm::ErrInvalidValue);
}

TEST(LayoutPixels, TwipsAndControlsAtTwoDpis) {
    EXPECT_EQ(layout::TwipsToPixels(4380, 96), 292);
    EXPECT_EQ(layout::TwipsToPixels(3804, 96), 254);  // 253.6
    EXPECT_EQ(layout::TwipsToPixels(3804, 144), 380); // 380.4
    EXPECT_EQ(layout::TwipsToPixels(7, 96), 0);
    EXPECT_EQ(layout::TwipsToPixels(8, 96), 1);

    const struct {
        const char* name;
        int dpi;
        layout::PixelRect rect;
    } rows[] = {
        {"cmdFin", 96, {200, 208, 80, 24}},     {"cmdFin", 144, {300, 312, 120, 36}},
        {"StatusBar1", 96, {0, 237, 292, 17}},  // docked: 254 - 17
        {"StatusBar1", 144, {0, 355, 438, 25}}, // 380 - 25 (25.2)
        {"Icon_Falla", 144, {12, 36, 32, 32}},  // a picture keeps its own size
        {"Img_Vl1", 96, {228, 24, 13, 13}},     {"Label_Status", 96, {13, 104, 196, 26}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(row.dpi));
        const layout::PixelRect rect = layout::PixelRectOf(layout::Find(row.name), row.dpi);
        EXPECT_EQ(rect.left, row.rect.left);
        EXPECT_EQ(rect.top, row.rect.top);
        EXPECT_EQ(rect.width, row.rect.width);
        EXPECT_EQ(rect.height, row.rect.height);
    }
}

TEST(Win32SysTray, ButtonCodes) {
    EXPECT_EQ(Win32SysTray::ButtonCode(WM_LBUTTONUP), 1);
    EXPECT_EQ(Win32SysTray::ButtonCode(WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(Win32SysTray::ButtonCode(WM_RBUTTONUP), 2);
    EXPECT_EQ(Win32SysTray::ButtonCode(WM_MBUTTONUP), 4);
    EXPECT_EQ(Win32SysTray::ButtonCode(WM_LBUTTONDOWN), 0);
    EXPECT_EQ(Win32SysTray::ButtonCode(WM_MOUSEMOVE), 0);
}

} // namespace
