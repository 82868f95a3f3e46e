// Start-up and exit of the monitor.
#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

namespace {

using Entries = std::vector<std::string>;

TEST(StartUp, RunsItsStepsInOrder) {
    FakeForm f;
    f.form.Form_Load();
    const Entries expected = {
        "PrevInstance",  "Settings=9600,n,8,1", "InputMode=1",
        "RThreshold=10", "intray=true",         "trayicon",
    };
    EXPECT_EQ(f.log.entries, expected);
    EXPECT_EQ(f.form.LinkMode, 0);
    EXPECT_EQ(f.form.PortNumber, 0);
    EXPECT_EQ(f.form.SweepCount, 0);
    EXPECT_FALSE(f.form.AlarmRaised);
    EXPECT_TRUE(f.form.Timer1.Enabled());
    EXPECT_EQ(f.form.Timer1.Interval(), 1000);
    EXPECT_FALSE(f.form.Timer2.Enabled());
    EXPECT_FALSE(f.form.Timer3.Enabled());
    EXPECT_FALSE(f.comm.open); // the first search tick opens COM1
    EXPECT_FALSE(f.form.Label_Shut.Visible());
    EXPECT_FALSE(f.form.Label_Save.Visible());
    EXPECT_EQ(f.tray.tip, "Orvane Corvolt");
    EXPECT_EQ(f.tray.icon, &f.form.frmMain.Icon()); // the window's own picture, not a copy
    EXPECT_TRUE(f.boxes.calls.empty());
}

TEST(StartUp, DesignIntervalsBeforeTheLoad) {
    FakeForm f;
    EXPECT_EQ(f.form.Timer1.Interval(), 4000);
    EXPECT_EQ(f.form.Timer2.Interval(), 4100);
    EXPECT_EQ(f.form.Timer3.Interval(), 0);
    EXPECT_FALSE(f.form.Timer1.Enabled() || f.form.Timer2.Enabled() || f.form.Timer3.Enabled());
}

TEST(StartUp, AFailedLoadStepLeavesTheWindowUpWithoutASearch) {
    const struct {
        const char* name;
        void (*fail)(FakeForm&);
    } cases[] = {
        {"port settings refused", [](FakeForm& f) { f.comm.failSettings = true; }},
        {"instance lock cannot be made", [](FakeForm& f) { f.instance.lockFails = true; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeForm f;
        c.fail(f);
        f.form.Form_Load();
        ASSERT_EQ(f.boxes.calls.size(), 1u);
        EXPECT_EQ(f.boxes.calls[0].prompt, "Error al iniciar la aplicación.");
        EXPECT_EQ(f.boxes.calls[0].style, vb::OKOnly);
        EXPECT_TRUE(f.boxes.calls[0].title.empty());
        EXPECT_FALSE(f.form.Timer1.Enabled());
        EXPECT_EQ(f.comm.rThreshold, 0); // the steps after the failing one are skipped
        EXPECT_EQ(f.form.ProgressBar1.Max(), 100.0f);
        EXPECT_FALSE(f.form.Label_Save.Visible());
        EXPECT_TRUE(f.tray.inTray);
        EXPECT_EQ(f.instance.ended, 0);
    }
}

TEST(StartUp, ASecondInstanceSaysSoAndEndsWithoutTouchingThePort) {
    FakeForm f;
    f.instance.running = true;
    EXPECT_THROW(f.form.Form_Load(), ProcessEnded);
    ASSERT_EQ(f.boxes.calls.size(), 1u);
    EXPECT_EQ(f.boxes.calls[0].prompt, "Corvolt ya esta en ejecución");
    EXPECT_EQ(f.boxes.calls[0].style, vb::OKOnly);
    EXPECT_TRUE(f.boxes.calls[0].title.empty());
    EXPECT_EQ(f.log.entries, (Entries{"PrevInstance", "MsgBox:Corvolt ya esta en ejecución",
                                      "intray=false", "End"}));
    EXPECT_FALSE(f.form.Timer1.Enabled());
}

TEST(Exit, EmptiesAndClosesAnOpenPortThenEnds) {
    FakeForm f;
    f.start();
    f.form.Timer1_Timer();
    ASSERT_TRUE(f.comm.open);
    f.comm.buffer = Bytes{'u', 'n', 'r', 'e', 'a', 'd'};
    f.log.entries.clear();
    EXPECT_THROW(f.form.cmdFin_Click(), ProcessEnded);
    EXPECT_EQ(f.log.entries, (Entries{"InBufferCount=0", "PortOpen=false", "intray=false", "End"}));
    EXPECT_FALSE(f.comm.open);
}

TEST(Exit, LeavesAClosedPortAlone) {
    FakeForm f;
    f.start();
    EXPECT_THROW(f.form.Form_Terminate(), ProcessEnded);
    EXPECT_EQ(f.log.entries, (Entries{"intray=false", "End"}));
}

// The button, the window's close command and a termination request from the system all
// reach their handlers through the events the monitor wired.
TEST(Exit, TheButtonTheCloseCommandAndTerminationUnload) {
    const std::function<void(FakeForm&)> requests[] = {
        [](FakeForm& f) { f.view.cmdFin.Click(); },
        [](FakeForm& f) { f.view.frmMain.QueryUnload(); },
        [](FakeForm& f) { f.instance.OnTerminate(); },
    };
    for (const auto& request : requests) {
        FakeForm f;
        f.start();
        EXPECT_THROW(request(f), ProcessEnded);
        EXPECT_EQ(f.log.entries, (Entries{"intray=false", "End"}));
    }
}

} // namespace
