// Raising the window on Linux, on the offscreen platform (and, run by hand, under X11).
#include "power/ModApiLinux.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingBoxes final : public MessageBoxes {
public:
    std::vector<QString> shown;
    int MsgBox(const QString& prompt, int style, const QString& title) override {
        shown.push_back(QString::number(style) + "|" + title + "|" + prompt);
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

    api.BringToFront(window);
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

    api.BringToFront(window);
    EXPECT_EQ(boxes.shown, std::vector<QString>{QString::fromUtf8(
                               "64|Atención|No se pudo enviar la ventana a primer plano\r\n"
                               "Número de Referencia: 0x0001h")});
    EXPECT_EQ(window.windowHandle(), nullptr);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
