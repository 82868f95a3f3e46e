// Alarm states, the tray icon and the window's visibility.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"
#include "fakes/VirtualClock.h"

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
        bool finalAlarmBefore = false; // the previous frame carried "2"
    };
    const Row rows[] = {
        {'0', false, Info, false, false, false, 0},
        {'0', true, Info, false, false, true, 0},
        {'1', false, Alarm, true, true, false, 0},
        {'1', true, Alarm, false, true, false, 0},
        {'2', false, Unchanged, true, true, false, 0},
        {'2', true, Unchanged, false, true, false, 0},
        {'2', false, Unchanged, true, true, false, 1, true},
        {'2', true, Unchanged, false, true, false, 1, true},
        {'1', false, Alarm, true, true, false, 0, true},
        {'3', false, Unchanged, false, false, false, 0},
        {'3', true, Unchanged, false, true, false, 0},
        {0x00, false, Unchanged, false, false, false, 0},
        {0xFF, true, Unchanged, false, true, false, 0},
    };
    for (const Row& row : rows) {
        Alarms a;
        a.form.AlarmRaised = row.raisedBefore;
        a.form.FinalAlarmPending = row.finalAlarmBefore;
        // Panels start in an unusual combination so that "unchanged" is visible.
        a.form.BoxAlarm.setVisible(true);
        a.form.BoxInfo.setVisible(true);
        a.form.ShowAlarm(row.alarm);
        const auto label = testing::Message()
                           << "alarm " << int(row.alarm) << " raised " << row.raisedBefore
                           << " final before " << row.finalAlarmBefore;
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
        EXPECT_EQ(a.form.FinalAlarmPending, row.alarm == '2') << label;
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
    // From the tray: state normal, then visible, then brought to the front.
    EXPECT_EQ(a.view.frmMain.stateWhenShown, vbNormal);
    EXPECT_EQ(a.api.stateAtFront, vbNormal);
    EXPECT_TRUE(a.api.visibleAtFront);
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
    EXPECT_EQ(a.api.shutdownRequests, 0);
    a.frame('2');
    EXPECT_EQ(a.api.shutdownRequests, 1);
    EXPECT_TRUE(a.boxes.calls.empty());
}

TEST(ShowAlarm, FinalAlarmAfterMainsFailureDoesNotRaiseAgain) {
    Alarms a;
    a.frame('1');
    a.frame('2');
    a.frame('2');
    EXPECT_EQ(a.api.broughtToFront, 1);
    EXPECT_TRUE(a.alarmPanel());
    EXPECT_EQ(a.api.shutdownRequests, 1);
}

TEST(ShowAlarm, ARefusedShutdownIsTriedAgainWithEveryFinalAlarm) {
    Alarms a;
    a.comm.receive(Frame('2', '1')); // the first "2" waits for the next frame
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

// A monitor started during an outage: the UPS says "1" (or "2", refused) from its first
// frame on. The handshake block arms Timer3; the alarm that raises the window cancels it.
TEST(ShowAlarm, AnAlarmAtStartUpKeepsTheWindowShownUntilItClears) {
    for (char alarm : {'1', '2'}) {
        FakeForm f;
        f.start();
        VirtualClock clock{{&f.form.Timer1, &f.form.Timer2, &f.form.Timer3}};
        clock.resync();
        // COM1 opens at 1 s; a frame arrives every second from 1.5 s on.
        for (int i = 1; i <= 12; ++i) {
            clock.runUntil(i * 1000 + 500);
            f.comm.receive(Frame(alarm));
            clock.resync();
        }
        EXPECT_EQ(f.form.LinkMode, 1) << alarm;
        EXPECT_TRUE(Shown(f.form)) << alarm;
        EXPECT_EQ(f.api.broughtToFront, 1) << alarm;
        EXPECT_FALSE(f.form.Timer3.Enabled()) << alarm;

        f.comm.receive(Frame('0'));
        clock.resync();
        clock.runUntil(12500 + 3999);
        EXPECT_TRUE(Shown(f.form)) << alarm;
        clock.runUntil(12500 + 4000);
        EXPECT_TRUE(InTray(f.form)) << alarm;
    }
}

// The power-off is asked for only when two decoded frames in a row carry "2". A block that
// fails the header test is no frame and leaves the count as it was; a frame with any other
// alarm byte, or a new link, starts it again.
TEST(ShowAlarm, FinalAlarmNeedsTwoConsecutiveFrames) {
    const Bytes badHeader = {'&', '&', '%', 0, 0, 0, 0, 0, '2', '2'};
    const Bytes shortBlock = {'&', '&', '&', '2'};
    struct Row {
        const char* name;
        std::vector<Bytes> blocks;
        std::vector<int> requestsAfter; // shutdown requests after each block
    };
    const Row rows[] = {
        {"2 2 2", {Frame('2'), Frame('2'), Frame('2')}, {0, 1, 2}},
        {"0 2 0 2", {Frame('0'), Frame('2'), Frame('0'), Frame('2')}, {0, 0, 0, 0}},
        {"2 1 2 2", {Frame('2'), Frame('1'), Frame('2'), Frame('2')}, {0, 0, 0, 1}},
        {"2 3 2", {Frame('2'), Frame('3'), Frame('2')}, {0, 0, 0}},
        {"2 bad header 2", {Frame('2'), badHeader, Frame('2')}, {0, 0, 1}},
        {"2 short 2", {Frame('2'), shortBlock, Frame('2')}, {0, 0, 1}},
    };
    for (const Row& row : rows) {
        Alarms a;
        for (std::size_t i = 0; i < row.blocks.size(); ++i) {
            a.comm.receive(row.blocks[i]);
            EXPECT_EQ(a.api.shutdownRequests, row.requestsAfter[i]) << row.name << " block " << i;
        }
    }
}

TEST(ShowAlarm, AFinalAlarmBeforeALostLinkIsNotConfirmedByTheNextLink) {
    Alarms a;
    a.boxes.answers = {vb::Retry};
    a.frame('2');
    a.form.Timer2_Timer();      // silent for 7 s
    a.form.Timer1_Timer();      // COM1 again
    a.comm.receive(Frame('2')); // the handshake
    EXPECT_EQ(a.form.LinkMode, 1);
    a.frame('2');
    EXPECT_EQ(a.api.shutdownRequests, 0);
    a.frame('2');
    EXPECT_EQ(a.api.shutdownRequests, 1);
}

// One stray "&" before a frame of a high line (regulation "2") makes a block "&&&&" whose
// byte 9 is that "2"; the frames after it are real and carry "0".
TEST(ShowAlarm, AStrayHeaderByteDoesNotPowerOff) {
    FakeForm f;
    f.start();
    VirtualClock clock{{&f.form.Timer1, &f.form.Timer2, &f.form.Timer3}};
    clock.resync();
    const auto frameAt = [&](std::int64_t time, Bytes block) {
        clock.runUntil(time);
        f.comm.receive(block);
        clock.resync();
    };
    frameAt(1500, Frame('0', '2')); // the handshake
    frameAt(2500, Frame('0', '2'));
    Bytes stray = Frame('0', '2');
    stray.insert(stray.begin(), '&');
    frameAt(3500, stray);
    ASSERT_GE(f.events.calls.size(), 2u);
    EXPECT_EQ(f.events.calls.end()[-2], "FrameDecoded:2"); // then its readings
    for (int i = 0; i < 10; ++i)
        frameAt(4500 + i * 1000, Frame('0', '2'));
    EXPECT_EQ(f.api.shutdownRequests, 0);
    EXPECT_EQ(f.instance.ended, 0);
    // The lone "2" raised the window as any final alarm does; its clearing sent it back.
    EXPECT_EQ(f.api.broughtToFront, 1);
    EXPECT_TRUE(InTray(f.form));
}

// At the UPS's rate of one frame a second the request follows the first "2" by a second.
TEST(ShowAlarm, TheFinalAlarmIsActedOnAtTheNextFrame) {
    FakeForm f;
    f.start();
    VirtualClock clock{{&f.form.Timer1, &f.form.Timer2, &f.form.Timer3}};
    clock.resync();
    std::vector<std::int64_t> requestTimes;
    for (int i = 1; i <= 8; ++i) {
        clock.runUntil(i * 1000 + 500);
        const int before = f.api.shutdownRequests;
        f.comm.receive(Frame(i >= 5 ? '2' : '0'));
        clock.resync();
        if (f.api.shutdownRequests > before)
            requestTimes.push_back(clock.now());
    }
    EXPECT_EQ(requestTimes, (std::vector<std::int64_t>{6500, 7500, 8500}));
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

// The tray delay counts from the last search block, not the first.
TEST(Tray, ASecondSearchBlockRestartsARunningTrayDelay) {
    FakeForm f;
    f.start();
    f.form.Timer1_Timer();
    VirtualClock clock{{&f.form.Timer3}};
    const Bytes block{'&', '&', '%', 0, 0, 0, 0, 0, 0, 0};
    f.comm.receive(block);
    clock.resync();
    clock.runUntil(3000);
    ASSERT_TRUE(f.form.Timer3.isCounting());
    f.comm.receive(block);
    clock.resync();
    clock.runUntil(6999);
    EXPECT_TRUE(Shown(f.form)) << "4 s after the first block, 1 ms early for the second";
    clock.runUntil(7000);
    EXPECT_TRUE(InTray(f.form));
}

TEST(Tray, TheIconIsRemovedWhenTheProgramEnds) {
    FakeForm f;
    f.start();
    EXPECT_TRUE(f.tray.inTray);
    EXPECT_THROW(f.form.cmdFin_Click(), ProcessEnded);
    EXPECT_FALSE(f.tray.inTray);
}

} // namespace
