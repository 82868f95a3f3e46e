// The Qt window's controls against the layout table: names, pixels, texts, states,
// stacking, focus, accessibility; and the window as the monitor drives it.
#include "QtForm.h"
#include "fakes/Frames.h"
#include "platform/qt/QtSysTray.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

struct Control {
    const char* name;
    const char* container;
    int left, top, width, height; // twips; images take their picture's size instead
    const char* text;             // nullptr where the control has no text
    bool shown;                   // state when created
    bool image;
};

// Front to back, as the window stacks them.
const Control Layout[] = {
    {"StatusBar1", "frmMain", 0, 3552, 4380, 252, "", true, false},
    {"ProgressBar1", "frmMain", 1320, 120, 2892, 132, nullptr, true, false},
    {"cmdFin", "frmMain", 3000, 3120, 1200, 360, "&Finalizar", true, false},
    {"BoxAlarm", "frmMain", 240, 765, 3936, 2136, "Atención", false, false},
    {"Label_Shut", "BoxAlarm", 240, 1680, 2772, 252, "Apagando el equipo ...", false, false},
    {"Label_Save", "BoxAlarm", 720, 480, 2652, 372, "Por favor, guarde todos los archivos", true,
     false},
    {"Img_Monito", "BoxAlarm", 3360, 1560, 384, 384, nullptr, false, true},
    {"Icon_Falla", "BoxAlarm", 120, 360, 384, 384, nullptr, true, true},
    {"Label_WM", "BoxAlarm", 480, 1080, 3060, 612, "Falla de línea  funcionamiento con baterias",
     true, false},
    {"BoxInfo", "frmMain", 240, 765, 3936, 2136, "", true, false},
    {"Img_vl2", "BoxInfo", 3420, 360, 156, 156, nullptr, true, true},
    {"Img_Vl1", "BoxInfo", 3420, 360, 156, 156, nullptr, true, true},
    {"igual", "BoxInfo", 3360, 1440, 384, 384, nullptr, true, true},
    {"Label_Status", "BoxInfo", 195, 1560, 2940, 390, "Regulando Línea  :", true, false},
    {"Label_Fcia", "BoxInfo", 192, 900, 2508, 396, "Frecuencia :", true, false},
    {"Label_VL", "BoxInfo", 192, 360, 2796, 432, "Voltaje de Línea : ", true, false},
    {"Label_VBat", "frmMain", 240, 120, 1092, 372, "% Batería", true, false},
};

QString TextOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget))
        return frame->title();
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->text();
    if (auto* status = qobject_cast<QStatusBar*>(widget))
        return status->currentMessage();
    return QString();
}

TEST(Window, ControlsMatchTheLayoutTable) {
    MainWindow form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Orvane   Corvolt"));
    EXPECT_EQ(form.Twips(1440), form.logicalDpiX());
    EXPECT_EQ(form.size(), QSize(form.Twips(4380), form.Twips(3804)));
    for (const Control& c : Layout) {
        auto* widget = form.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(c.container)) << c.name;
        EXPECT_EQ(widget->pos(), QPoint(form.Twips(c.left), form.Twips(c.top))) << c.name;
        if (c.image) {
            // Pictures keep their own pixel size: the table's size is 12 twips a pixel.
            EXPECT_EQ(widget->size(), QSize(c.width / 12, c.height / 12)) << c.name;
            EXPECT_FALSE(static_cast<QLabel*>(widget)->pixmap().isNull()) << c.name;
        } else if (QString::fromLatin1(c.name) != QStringLiteral("StatusBar1")) {
            EXPECT_EQ(widget->size(), QSize(form.Twips(c.width), form.Twips(c.height))) << c.name;
        }
        if (c.text) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(c.text)) << c.name;
        }
        EXPECT_EQ(!widget->isHidden(), c.shown) << c.name;
    }
}

TEST(Window, StatusBarIsDockedAlongTheBottomEdge) {
    QtForm f;
    const QRect status = f.widget<QStatusBar>("StatusBar1")->geometry();
    EXPECT_EQ(status.left(), 0);
    EXPECT_EQ(status.width(), f.view.width());
    EXPECT_EQ(status.bottom(), f.view.height() - 1);
    EXPECT_EQ(status.height(), f.view.Twips(252));
}

TEST(Window, ControlsAreStackedFrontToBackAsListed) {
    QtForm f;
    // Among siblings Qt draws later children in front of earlier ones.
    for (const Control& front : Layout)
        for (const Control& back : Layout) {
            if (&front >= &back || qstrcmp(front.container, back.container) != 0)
                continue;
            auto* a = f.widget<QWidget>(front.name);
            auto* b = f.widget<QWidget>(back.name);
            const QObjectList& siblings = a->parent()->children();
            EXPECT_GT(siblings.indexOf(a), siblings.indexOf(b))
                << front.name << " over " << back.name;
        }
}

TEST(Window, RedLampCoversTheGreenOneBeforeTheFirstFrame) {
    QtForm f;
    f.start();
    const QPoint lampCentre = f.widget<QLabel>("Img_Vl1")->geometry().center();
    EXPECT_EQ(f.widget<QGroupBox>("BoxInfo")->childAt(lampCentre), f.widget<QLabel>("Img_vl2"));
    EXPECT_EQ(f.widget<QLabel>("Label_Shut")->isHidden(), true);
    EXPECT_EQ(f.widget<QLabel>("Label_Save")->isHidden(), true);
}

TEST(Window, OnlyTheExitButtonTakesTheFocusAndAltFPressesIt) {
    QtForm f;
    f.start();
    auto* const cmdFin = f.widget<QPushButton>("cmdFin");
    for (QWidget* child : f.view.findChildren<QWidget*>())
        EXPECT_EQ(child->focusPolicy() != Qt::NoFocus, child == cmdFin)
            << qPrintable(child->objectName());
    int clicks = 0;
    QObject::connect(cmdFin, &QPushButton::pressed, [&] { ++clicks; });
    // The click itself would end the process: only check that the shortcut reaches the button.
    QObject::disconnect(cmdFin, &QPushButton::clicked, nullptr, nullptr);
    QApplication::setActiveWindow(&f.view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.view));
    QTest::keyClick(&f.view, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
}

TEST(Window, BatteryBarShowsNoText) {
    QtForm f;
    f.start();
    EXPECT_FALSE(f.widget<QProgressBar>("ProgressBar1")->isTextVisible());
    EXPECT_EQ(f.form.ProgressBar1.Min(), 0.0f);
    EXPECT_EQ(f.form.ProgressBar1.Max(), 100.0f);
    EXPECT_EQ(f.form.ProgressBar1.Value(), 0.0f);
}

TEST(Window, ScreenReadersGetANameAndTheStateOfEveryControl) {
    QtForm f;
    f.link();
    f.comm.receive(Frame('1'));
    const auto name = [&f](const char* widget) {
        return QAccessible::queryAccessibleInterface(f.widget<QWidget>(widget))
            ->text(QAccessible::Name);
    };
    EXPECT_EQ(name("Label_VL"), QStringLiteral("Voltaje de línea : 120. Volts"));
    EXPECT_EQ(name("Label_Fcia"), QStringLiteral("Frecuencia : 60.Hz."));
    EXPECT_EQ(name("Label_Status"), QStringLiteral("Regulando línea normal"));
    EXPECT_EQ(name("Label_WM"), QStringLiteral("Falla de línea  funcionamiento con baterias"));
    EXPECT_EQ(name("BoxAlarm"), QStringLiteral("Atención"));
    EXPECT_EQ(name("StatusBar1"), f.widget<QStatusBar>("StatusBar1")->currentMessage());
    EXPECT_EQ(name("cmdFin"), QStringLiteral("Finalizar"));
    EXPECT_EQ(name("ProgressBar1"), QStringLiteral("% Batería"));
    QAccessibleValueInterface* battery =
        QAccessible::queryAccessibleInterface(f.widget<QWidget>("ProgressBar1"))->valueInterface();
    ASSERT_NE(battery, nullptr);
    EXPECT_EQ(battery->currentValue().toInt(), 83);
    for (const char* image : {"Img_Vl1", "Img_vl2", "Icon_Falla", "igual"})
        EXPECT_FALSE(name(image).isEmpty()) << image;
}

// The adapters reach the widgets, and the window's events reach the monitor.
TEST(Window, TheMonitorDrivesTheWidgets) {
    QtForm f;
    f.link();
    f.comm.receive(Frame('1', '2', 46, 196, 128));
    EXPECT_EQ(f.widget<QLabel>("Label_VL")->text(),
              QStringLiteral("Voltaje de línea : 120. Volts"));
    EXPECT_EQ(f.widget<QLabel>("Label_Status")->text(), QStringLiteral("Regulando línea alta"));
    EXPECT_TRUE(f.widget<QLabel>("Img_Vl1")->isHidden());
    EXPECT_FALSE(f.widget<QLabel>("Img_vl2")->isHidden());
    EXPECT_FALSE(f.widget<QGroupBox>("BoxAlarm")->isHidden());
    EXPECT_TRUE(f.widget<QGroupBox>("BoxInfo")->isHidden());
    EXPECT_EQ(f.widget<QProgressBar>("ProgressBar1")->value(), 50);
    EXPECT_EQ(f.widget<QStatusBar>("StatusBar1")->currentMessage(),
              QString::fromStdString(f.form.StatusBar1.SimpleText()));
    EXPECT_EQ(f.api.handle, static_cast<std::intptr_t>(f.view.winId()));
    EXPECT_EQ(f.form.frmMain.Visible(), f.view.isVisible());

    // Minimising, by the user (who sees the window first) or by the monitor, hides the
    // window into the tray.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.view));
    static_cast<QWidget&>(f.view).setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(f.view.isHidden());
    EXPECT_EQ(f.form.frmMain.WindowState(), vbMinimized);
    f.form.cSysTray1_MouseEvent(1, 0);
    EXPECT_TRUE(f.view.isVisible());
    EXPECT_EQ(f.view.windowState(), Qt::WindowNoState);
    f.form.Timer3_Timer();
    EXPECT_TRUE(f.view.isHidden());
    EXPECT_TRUE(f.view.windowState() & Qt::WindowMinimized);
}

// An X11 window manager iconifies a window mapped with an iconic initial state at once;
// the minimise reaches the window before the desktop has shown it. Such a minimise must
// not send the window raised for an alarm back to the tray; the user's own does. Both
// arrive as the platform reports a state change.
TEST(Window, AMinimiseBeforeTheRaisedWindowIsExposedIsUndone) {
    QtForm f;
    f.link();
    f.form.Timer3_Timer();
    ASSERT_TRUE(f.view.isHidden());
    const QPointer<QWindow> inTray = f.view.windowHandle();

    f.comm.receive(Frame('1'));
    ASSERT_TRUE(f.view.isVisible());
    EXPECT_TRUE(inTray.isNull()) << "shown as a new native window";
    EXPECT_EQ(f.view.windowHandle()->windowStates(), Qt::WindowNoState);
    EXPECT_TRUE(f.view.Revealing());
    f.view.overrideWindowState(Qt::WindowMinimized); // the window manager
    EXPECT_TRUE(f.view.isVisible());
    EXPECT_EQ(f.view.windowState() & Qt::WindowMinimized, 0);
    EXPECT_EQ(f.form.frmMain.WindowState(), vbNormal);
    EXPECT_TRUE(f.form.AlarmRaised);

    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.view));
    EXPECT_FALSE(f.view.Revealing());
    f.view.overrideWindowState(Qt::WindowMinimized); // the user
    EXPECT_TRUE(f.view.isHidden());
    EXPECT_EQ(f.form.frmMain.WindowState(), vbMinimized);
    f.comm.receive(Frame('1'));
    EXPECT_TRUE(f.view.isHidden()) << "the alarm raises the window once";
}

TEST(Window, TheTrayIsGivenTheWindowsOwnIcon) {
    MainWindow window;
    QtSysTray tray;
    tray.setTrayicon(window.Icon());
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(tray.icon().cacheKey(), window.windowIcon().cacheKey());
}

} // namespace
