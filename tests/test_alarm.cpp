// Alarm states, the tray icon and the window's visibility.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool InTray(const MonitorForm& form) {
    return !form.frmMain.Visible() && form.frmMain.WindowState() == vbMinimized;
}

bool Shown(const MonitorForm& form) {
    return form.frmMain.Visible() && form.frmMain.WindowState() == vbNormal;
}

// A linked monitor whose window has already gone to the tray.
struct Alarms : FakeForm {
    Alarms() {
        link();
        form.Timer3_Timer();
        EXPECT_TRUE(InTray(form));
        log.entries.clear();
    }
    void frame(char alarm) { comm.receive(Frame(alarm)); }
    bool alarmPanel() const { return form.BoxAlarm.Visible() && !form.BoxInfo.Visible(); }
    bool infoPanel() const { return !form.BoxAlarm.Visible() && form.BoxInfo.Visible(); }
};

TEST(ShowAlarm, StateTable) {
    enum Panels { Info, Alarm, Unchanged };
    struct Row {
        std::uint8_t alarm;
        bool raisedBefore;
        Panels panels;
        bool windowRaised;
        bool raisedAfter;
        bool timer3Started;
        int shutdownRequests;
    };
    const Row rows[] = {
        {'0', false, Info, false, false, false, 0},
        {'0', true, Info, false, false, true, 0},
        {'1', false, Alarm, true, true, false, 0},
        {'1', true, Alarm, false, true, false, 0},
        {'2', false, Unchanged, true, true, false, 1},
        {'2', true, Unchanged, false, true, false, 1},
        {'3', false, Unchanged, false, false, false, 0},
        {'3', true, Unchanged, false, true, false, 0},
        {0x00, false, Unchanged, false, false, false, 0},
        {0xFF, true, Unchanged, false, true, false, 0},
    };
    for (const Row& row : rows) {
        Alarms a;
        a.form.AlarmRaised = row.raisedBefore;
        // Panels start in an unusual combination so that "unchanged" is visible.
        a.form.BoxAlarm.setVisible(true);
        a.form.BoxInfo.setVisible(true);
        a.form.ShowAlarm(row.alarm);
        const auto label = testing::Message()
                           << "alarm " << int(row.alarm) << " raised " << row.raisedBefore;
        EXPECT_EQ(!a.form.BoxAlarm.Visible(), row.panels == Info) << label;
        EXPECT_EQ(!a.form.BoxInfo.Visible(), row.panels == Alarm) << label;
        EXPECT_EQ(a.api.broughtToFront, row.windowRaised ? 1 : 0) << label;
        EXPECT_EQ(Shown(a.form), row.windowRaised) << label;
        EXPECT_EQ(a.form.AlarmRaised, row.raisedAfter) << label;
        EXPECT_EQ(a.form.Timer3.Enabled(), row.timer3Started) << label;
        if (row.timer3Started) {
            EXPECT_EQ(a.form.Timer3.Interval(), 4000) << label;
        }
        EXPECT_EQ(a.api.shutdownRequests, row.shutdownRequests) << label;
    }
}

TEST(ShowAlarm, NormalFramesOnlySetThePanels) {
    Alarms a;
    for (int i = 0; i < 3; ++i)
        a.frame('0');
    EXPECT_TRUE(a.infoPanel());
    EXPECT_FALSE(a.form.AlarmRaised);
    EXPECT_FALSE(a.form.Timer3.Enabled());
    EXPECT_TRUE(InTray(a.form));
}

TEST(ShowAlarm, MainsFailureRaisesOnceAndTheClearSendsTheWindowBack) {
    Alarms a;
    a.frame('0');
    a.frame('1');
    EXPECT_TRUE(Shown(a.form));
    EXPECT_TRUE(a.alarmPanel());
    EXPECT_EQ(a.api.broughtToFront, 1);
    // Window state normal and visible before it is brought to the front.
    EXPECT_EQ(std::count(a.log.entries.begin(), a.log.entries.end(), "BringToFront"), 1);
    EXPECT_EQ(a.api.handle, FakeWindow::Handle);

    a.form.frmMain.setWindowState(vbMinimized); // the user hides it during the alarm
    EXPECT_TRUE(InTray(a.form));
    a.frame('1');
    EXPECT_EQ(a.api.broughtToFront, 1);
    EXPECT_TRUE(InTray(a.form));

    a.form.cSysTray1_MouseEvent(1, 0);
    a.frame('0');
    EXPECT_TRUE(a.infoPanel());
    EXPECT_TRUE(a.form.Timer3.Enabled());
    EXPECT_TRUE(Shown(a.form));
    a.form.Timer3_Timer(); // 4 s later
    EXPECT_TRUE(InTray(a.form));
    EXPECT_FALSE(a.form.Timer3.Enabled());
    EXPECT_EQ(a.form.Timer3.Interval(), 4000);
}

TEST(ShowAlarm, FinalAlarmAfterNormalRaisesAndKeepsTheInfoPanel) {
    Alarms a;
    a.frame('0');
    a.frame('2');
    EXPECT_TRUE(Shown(a.form));
    EXPECT_TRUE(a.infoPanel());
    EXPECT_EQ(a.api.shutdownRequests, 1);
    EXPECT_TRUE(a.boxes.calls.empty());
}

TEST(ShowAlarm, FinalAlarmAfterMainsFailureDoesNotRaiseAgain) {
    Alarms a;
    a.frame('1');
    a.frame('2');
    EXPECT_EQ(a.api.broughtToFront, 1);
    EXPECT_TRUE(a.alarmPanel());
    EXPECT_EQ(a.api.shutdownRequests, 1);
}

TEST(ShowAlarm, ARefusedShutdownIsTriedAgainWithEveryFinalAlarm) {
    Alarms a;
    for (int i = 1; i <= 3; ++i) {
        a.comm.receive(Frame('2', '1'));
        EXPECT_EQ(a.api.shutdownRequests, i);
    }
    // Nothing said, and the rest of each frame is shown.
    EXPECT_TRUE(a.boxes.calls.empty());
    EXPECT_EQ(a.form.Label_Status.Caption(), "Regulando línea baja");
    EXPECT_FALSE(a.form.Label_Save.Visible());
    EXPECT_EQ(a.instance.ended, 0);
    EXPECT_TRUE(a.comm.open);

    a.api.acceptShutdown = true;
    EXPECT_THROW(a.frame('2'), ProcessEnded);
    EXPECT_TRUE(a.form.Label_Save.Visible());
    EXPECT_FALSE(a.comm.open);
}

TEST(Tray, OnlyALeftButtonActionRestoresTheWindow) {
    for (short button : {0, 2, 3, 4, -1}) {
        Alarms a;
        a.form.cSysTray1_MouseEvent(button, 0);
        EXPECT_TRUE(InTray(a.form)) << button;
        EXPECT_EQ(a.api.broughtToFront, 0) << button;
    }
    Alarms a;
    a.form.cSysTray1_MouseEvent(1, 12345);
    EXPECT_TRUE(Shown(a.form));
    EXPECT_EQ(a.log.entries, std::vector<std::string>{"BringToFront"});
    a.form.cSysTray1_MouseEvent(1, 0); // already shown: brought in front again
    EXPECT_TRUE(Shown(a.form));
    EXPECT_EQ(a.api.broughtToFront, 2);
}

TEST(Tray, MinimisingHidesTheWindowOnlyWhereATrayExists) {
    for (bool hasTray : {true, false}) {
        FakeForm f;
        f.tray.hasTray = hasTray;
        f.start();
        f.form.frmMain.setWindowState(vbMinimized);
        EXPECT_EQ(!f.form.frmMain.Visible(), hasTray) << "tray " << hasTray;
        EXPECT_EQ(f.form.frmMain.WindowState(), vbMinimized);
        // Restoring and resizing never change the visibility.
        f.form.frmMain.setWindowState(vbNormal);
        f.form.Form_Resize();
        EXPECT_EQ(!f.form.frmMain.Visible(), hasTray) << "tray " << hasTray;
    }
}

TEST(Tray, Timer3WhileAlreadyInTheTrayStopsAndLeavesItThere) {
    Alarms a;
    a.form.Timer3.setInterval(4000);
    a.form.Timer3.setEnabled(true);
    a.form.Timer3_Timer();
    EXPECT_TRUE(InTray(a.form));
    EXPECT_FALSE(a.form.Timer3.Enabled());
    EXPECT_FALSE(a.form.Timer3.isCounting());
    EXPECT_FALSE(a.view.Timer3.running);
}

TEST(Tray, BlocksDuringTheSearchSendTheRestoredWindowBack) {
    FakeForm f;
    f.start();
    f.form.Timer1_Timer();
    f.comm.receive(Bytes({'&', '&', '%', 0, 0, 0, 0, 0, 0, 0}));
    f.form.Timer3_Timer();
    EXPECT_TRUE(InTray(f.form));
    f.form.cSysTray1_MouseEvent(1, 0);
    f.comm.receive(Bytes({'&', '&', '%', 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(f.form.Timer3.Enabled());
    EXPECT_EQ(f.form.Timer3.Interval(), 4000);
}

TEST(Tray, TheIconIsRemovedWhenTheProgramEnds) {
    FakeForm f;
    f.start();
    EXPECT_TRUE(f.tray.inTray);
    EXPECT_THROW(f.form.cmdFin_Click(), ProcessEnded);
    EXPECT_FALSE(f.tray.inTray);
}

} // namespace
