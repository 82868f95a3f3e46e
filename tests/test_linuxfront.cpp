// Raising the window on Linux, on the offscreen platform (and, run by hand, under X11), and
// the Linux tick counter.
#include "platform/MessageBoxes.h"
#include "platform/System.h"
#include "platform/linux/ModApiLinux.h"

#include <QApplication>
#include <QEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingBoxes final : public MessageBoxes {
public:
    std::vector<std::string> shown;
    int MsgBox(const std::string& prompt, int style, const std::string& title) override {
        shown.push_back(std::to_string(style) + "|" + title + "|" + prompt);
        return vb::OK;
    }
};

// Counts the events that would betray a hidden, moved, resized or re-created window.
class EventCounter final : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Hide:
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WinIdChange:
            ++count;
            break;
        default:
            break;
        }
        return false;
    }
};

TEST(LinuxBringToFront, RaisesAndActivatesInPlace) {
    RecordingBoxes boxes;
    ModApiLinux api(boxes);
    QWidget window;
    window.setGeometry(120, 80, 300, 200);
    window.show();
    QWidget other;
    other.setGeometry(140, 100, 300, 200);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    const QRect geometry = window.geometry();
    QWindow* const native = window.windowHandle();
    const WId id = window.winId();
    EventCounter counter;
    window.installEventFilter(&counter);
    QSignalSpy visibility(native, &QWindow::visibleChanged);

    api.BringToFront(static_cast<std::intptr_t>(id));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    QCoreApplication::processEvents();

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(window.geometry(), geometry);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowState(), Qt::WindowNoState);
    EXPECT_EQ(window.windowHandle(), native);
    EXPECT_EQ(window.winId(), id);
    EXPECT_EQ(counter.count, 0);
    EXPECT_EQ(visibility.count(), 0);
    EXPECT_FALSE(native->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(QApplication::activeWindow(), &window);
}

TEST(LinuxBringToFront, BoxWithoutNativeWindow) {
    RecordingBoxes boxes;
    ModApiLinux api(boxes);
    QWidget window; // never shown: there is no native window to raise

    api.BringToFront(static_cast<std::intptr_t>(window.internalWinId()));
    EXPECT_EQ(boxes.shown,
              std::vector<std::string>{"64|Atención|No se pudo enviar la ventana a primer plano\r\n"
                                       "Número de Referencia: 0x0001h"});
    EXPECT_EQ(window.windowHandle(), nullptr);
    EXPECT_FALSE(window.isVisible());
}

TEST(LinuxSystem, TickCounterFollowsTheBootClock) {
    SystemTickCounter counter;
    double uptimeSeconds = 0;
    std::ifstream("/proc/uptime") >> uptimeSeconds;
    const std::uint32_t ticks = counter.GetTickCount();
    if (uptimeSeconds == 0) {
        GTEST_SKIP() << "/proc/uptime is not readable";
    }
    // Both count from boot; compare modulo 2^32, allowing for the time between the reads.
    const auto expected =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(uptimeSeconds * 1000));
    EXPECT_LT(static_cast<std::uint32_t>(ticks - expected), 1000u);
    EXPECT_LT(static_cast<std::uint32_t>(counter.GetTickCount() - ticks), 1000u);
    EXPECT_EQ(SystemName(), "Linux");
}

} // namespace
