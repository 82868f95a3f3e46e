// The receive dispatch through the monitor, on fake controls and services.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Entries = std::vector<std::string>;

struct TimerState {
    bool enabled;
    int interval;
};

void ExpectTimer(const Timer& timer, TimerState expected, const char* name) {
    EXPECT_EQ(timer.Enabled(), expected.enabled) << name;
    EXPECT_EQ(timer.Interval(), expected.interval) << name;
}

TEST(Dispatch, SearchModeTimerEffects) {
    struct Row {
        const char* name;
        Bytes block;
        std::uint8_t linkModeAfter;
        TimerState timer1;
    };
    const Row rows[] = {
        {"handshake", Frame(), 1, {false, 0}},
        {"bad header", Bytes({0x26, 0x26, 0x25, 0, 0, 0, 0, 0, '0', '0'}), 0, {true, 1000}},
        {"header only, short block", Bytes({0x26, 0x26, 0x26}), 1, {false, 0}},
        {"block too short for a header", Bytes({0x26, 0x26}), 0, {true, 1000}},
    };
    for (const Row& row : rows) {
        FakeForm f;
        f.start();
        f.ticks.ticks = 300000;
        f.comm.receive(row.block);
        EXPECT_EQ(f.form.LinkMode, row.linkModeAfter) << row.name;
        ExpectTimer(f.form.Timer1, row.timer1, row.name);
        ExpectTimer(f.form.Timer2, {true, 7000}, row.name);
        ExpectTimer(f.form.Timer3, {true, 4000}, row.name);
        EXPECT_EQ(f.form.StatusBar1.SimpleText(), " Sesión en Linux : 05 mins") << row.name;
        // Nothing decoded, buffer not emptied a second time, no receiver but the uptime.
        EXPECT_EQ(f.log.entries, Entries{"Input"}) << row.name;
        EXPECT_EQ(f.form.Label_VL.Caption(), "Voltaje de Línea : ") << row.name;
    }
}

TEST(Dispatch, LinkedModeDecodesAndHandsTheFieldsOn) {
    FakeForm f;
    f.link();
    f.form.Timer3.setEnabled(false);
    f.comm.receive(Frame());
    EXPECT_EQ(f.form.Label_VL.Caption(), "Voltaje de línea : 120. Volts");
    EXPECT_EQ(f.form.Label_Fcia.Caption(), "Frecuencia : 60.Hz.");
    EXPECT_EQ(f.form.Label_Status.Caption(), "Regulando línea normal");
    EXPECT_FLOAT_EQ(f.form.ProgressBar1.Value(), 83.13725f);
    ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
    EXPECT_FALSE(f.form.Timer3.Enabled()); // only the search arms it
    EXPECT_EQ(f.log.entries, (Entries{"Input", "InBufferCount=0"}));
}

TEST(Dispatch, LinkedModeBadHeaderOrShortBlockOnlyRearmsAndEmpties) {
    const Bytes blocks[] = {
        Bytes({0x26, 0x26, 0x25, 46, 196, 212, 65, 92, '0', '1'}),
        Bytes({0x26, 0x26, 0x26, 46, 196, 212, 65, 92, '0'}), // header, but one byte short
        Bytes({0x26}),
    };
    for (const Bytes& block : blocks) {
        FakeForm f;
        f.link();
        f.ticks.ticks = 3600000;
        f.form.Timer2.setEnabled(false);
        f.comm.receive(block);
        EXPECT_EQ(f.form.Label_VL.Caption(), "Voltaje de Línea : ");
        EXPECT_FALSE(f.form.AlarmRaised);
        EXPECT_TRUE(f.form.BoxInfo.Visible());
        EXPECT_EQ(f.form.StatusBar1.SimpleText(), " Sesión en Linux : 1 hrs : ");
        ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
        EXPECT_EQ(f.log.entries.back(), "InBufferCount=0");
    }
}

TEST(Dispatch, WatchdogIsDisabledWhileTheReceiversRun) {
    // The shutdown request runs inside ShowAlarm, the first receiver: it records whether
    // the watchdog could fire at that moment.
    struct Probe final : ModApi {
        const Timer* watchdog = nullptr;
        bool enabledDuringReceivers = true;
        void BringToFront(std::intptr_t) override {}
        bool ShutdownWindows() override {
            enabledDuringReceivers = watchdog->Enabled();
            return false;
        }
    };
    FakeServices s;
    FakeControls view;
    Probe probe;
    MonitorForm form(
        view.Controls(s.tray, s.comm),
        Services{s.boxes, probe, s.ticks, s.locale, s.instance, s.warnings, s.events, "Linux"});
    probe.watchdog = &form.Timer2;
    form.LinkMode = 1;
    form.Timer2.setInterval(7000);
    form.Timer2.setEnabled(true);
    form.FinalAlarmPending = true; // the previous frame carried "2" too
    s.comm.receive(Frame('2'));
    EXPECT_FALSE(probe.enabledDuringReceivers);
    EXPECT_TRUE(form.Timer2.Enabled());
}

TEST(Dispatch, OnlyTheFirstTenBytesOfALongBlockAreUsed) {
    FakeForm f;
    f.link();
    Bytes block = Frame('0', '1', 1, 0, 255, 78, 110);
    for (const Bytes& more : {Frame('2', '2', 128, 127, 0, 1, 0), Bytes({1, 2, 3, 4, 5})})
        block.insert(block.end(), more.begin(), more.end());
    ASSERT_EQ(block.size(), 25u);
    f.comm.receive(block);
    EXPECT_EQ(f.api.shutdownRequests, 0);
    EXPECT_EQ(f.form.Label_Status.Caption(), "Regulando línea baja");
    EXPECT_EQ(f.form.Label_Fcia.Caption(), "Frecuencia : 50.Hz.");
    EXPECT_FLOAT_EQ(f.form.ProgressBar1.Value(), 100.0f);
    EXPECT_TRUE(f.comm.buffer.empty());
}

TEST(Dispatch, OtherEventsChangeNothing) {
    for (int event : {1, 3, 4, 5, 6, 7, 1001, 1004, 1006, 1008, 1009, 1010, 1011}) {
        FakeForm f;
        f.link();
        f.comm.buffer = Frame('1');
        f.form.Timer2.setEnabled(false);
        f.comm.raise(event);
        EXPECT_TRUE(f.log.entries.empty()) << event;
        EXPECT_EQ(f.comm.buffer, Frame('1')) << event;
        EXPECT_FALSE(f.form.Timer2.Enabled()) << event;
        EXPECT_FALSE(f.form.AlarmRaised) << event;
    }
}

TEST(Dispatch, ReceiverOrderAlarmFirst) {
    // An accepted shutdown ends the program inside ShowAlarm: the frame's readings are not
    // shown, nothing is re-armed, and the port is closed by the exit sequence.
    FakeForm f;
    f.link();
    f.api.acceptShutdown = true;
    f.form.FinalAlarmPending = true; // the previous frame carried "2" too
    EXPECT_THROW(f.comm.receive(Frame('2', '1', 1, 0, 0, 78, 110)), ProcessEnded);
    EXPECT_EQ(f.form.Label_Status.Caption(), "Regulando Línea  :");
    EXPECT_EQ(f.form.Label_Fcia.Caption(), "Frecuencia :");
    EXPECT_FALSE(f.form.Timer2.Enabled());
    EXPECT_FALSE(f.comm.open);
    EXPECT_TRUE(f.form.Label_Save.Visible());
    EXPECT_EQ(f.log.entries, (Entries{"Input", "BringToFront", "ShutdownWindows", "InBufferCount=0",
                                      "PortOpen=false", "intray=false", "End"}));
}

TEST(Dispatch, OutOfRangeWordsKeepTheirLabelsAndTheRestIsHandled) {
    struct Row {
        const char* name;
        Bytes frame;
        std::string voltage;
        std::string frequency;
    };
    const std::string designVoltage = "Voltaje de Línea : ";
    const std::string designFrequency = "Frecuencia :";
    const Row rows[] = {
        {"voltage 129,0", Frame('1', '2', 129, 0, 128, 78, 110), designVoltage,
         "Frecuencia : 50.Hz."},
        {"voltage 128,128", Frame('1', '2', 128, 128, 128, 78, 110), designVoltage,
         "Frecuencia : 50.Hz."},
        {"period 255,255", Frame('1', '2', 46, 196, 128, 255, 255), "Voltaje de línea : 120. Volts",
         designFrequency},
        {"both", Frame('1', '2', 200, 200, 128, 200, 200), designVoltage, designFrequency},
        {"largest in range", Frame('1', '2', 128, 127, 128, 128, 127),
         "Voltaje de línea : 2361.39 Volts", "Frecuencia : 30.52Hz."},
    };
    for (const Row& row : rows) {
        FakeForm f;
        f.link();
        f.comm.receive(row.frame);
        EXPECT_EQ(f.form.Label_VL.Caption(), row.voltage) << row.name;
        EXPECT_EQ(f.form.Label_Fcia.Caption(), row.frequency) << row.name;
        EXPECT_TRUE(f.form.AlarmRaised) << row.name;
        EXPECT_EQ(f.form.Label_Status.Caption(), "Regulando línea alta") << row.name;
        EXPECT_FLOAT_EQ(f.form.ProgressBar1.Value(), 50.19608f) << row.name;
        ExpectTimer(f.form.Timer2, {true, 7000}, row.name);
        EXPECT_EQ(f.log.entries.back(), "InBufferCount=0") << row.name;
    }
}

TEST(Dispatch, ZeroPeriodShowsNoFrequencyAndTheFrameGoesOn) {
    FakeForm f;
    f.link();
    f.comm.receive(Frame('0', '1', 46, 196, 64, 0, 0));
    EXPECT_EQ(f.form.Label_Fcia.Caption(), "Frecuencia : Hz.");
    EXPECT_EQ(f.form.Label_VL.Caption(), "Voltaje de línea : 120. Volts");
    EXPECT_EQ(f.form.Label_Status.Caption(), "Regulando línea baja");
    EXPECT_FLOAT_EQ(f.form.ProgressBar1.Value(), 25.09804f);
    ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
}

TEST(Dispatch, AFailureWhileAFrameIsHandledIsLoggedAndTheLinkStaysWatched) {
    FakeForm f;
    f.link();
    f.events.probe = [](const std::string&) { throw std::runtime_error("observer failed"); };
    f.form.Timer2.setEnabled(false);
    f.comm.receive(Frame('1'));
    EXPECT_EQ(f.warnings.warnings,
              std::vector<std::string>{"Corvolt: status frame not shown: observer failed"});
    EXPECT_FALSE(f.form.AlarmRaised);
    ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
    EXPECT_EQ(f.log.entries.back(), "InBufferCount=0");
}

// Observers get the readings exactly as the window shows them, once shown.
TEST(Events, ReadingsShownCarryTheWindowsValues) {
    struct Row {
        const char* name;
        const char* separator;
        Bytes frame;
        std::optional<std::string> voltage, frequency;
    };
    const Row rows[] = {
        {"worked example", ".", ExampleFrame(), "120.", "60."},
        {"decimal comma", ",", Frame('0', '0', 46, 196, 212, 78, 60), "120,", "50,13"},
        {"words out of range", ".", Frame('0', '0', 200, 0, 64, 200, 0), std::nullopt,
         std::nullopt},
    };
    for (const Row& row : rows) {
        FakeForm f;
        f.locale.separator = row.separator;
        f.link();
        f.comm.receive(row.frame);
        ASSERT_EQ(f.events.shown.size(), 1u) << row.name;
        const ShownReadings& shown = f.events.shown[0];
        EXPECT_EQ(shown.lineVoltage, row.voltage) << row.name;
        EXPECT_EQ(shown.frequency, row.frequency) << row.name;
        if (row.voltage) {
            EXPECT_EQ(f.form.Label_VL.Caption(), "Voltaje de línea : " + *row.voltage + " Volts");
        }
        if (row.frequency) {
            EXPECT_EQ(f.form.Label_Fcia.Caption(), "Frecuencia : " + *row.frequency + "Hz.");
        }
        EXPECT_EQ(shown.batteryPercent, f.form.ProgressBar1.Value()) << row.name;
    }
}

// What the monitor tells its observers, and in which state it tells them.
TEST(Events, EachIsToldOnceAtItsMoment) {
    FakeForm f;
    std::vector<std::string> states;
    f.events.probe = [&](const std::string& call) {
        states.push_back(call + " link " + std::to_string(f.form.LinkMode) + " raised " +
                         std::to_string(f.form.AlarmRaised) + " front " +
                         std::to_string(f.api.broughtToFront) + " alarm panel " +
                         std::to_string(f.form.BoxAlarm.Visible()) + " boxes " +
                         std::to_string(f.boxes.calls.size()));
    };
    f.link(); // the handshake
    f.comm.receive(Frame('0'));
    f.comm.receive(Frame('1'));
    f.comm.receive(Frame('1'));
    f.comm.receive(Bytes({'&', '&', '%', 0, 0, 0, 0, 0, 0, '0'})); // not decoded
    f.comm.receive(Frame('0'));
    f.boxes.answers = {vb::Retry};
    f.form.Timer2_Timer(); // the watchdog asks
    f.form.Timer2_Timer(); // searching again: it does not
    EXPECT_EQ(states, (std::vector<std::string>{
                          "LinkUp link 1 raised 0 front 0 alarm panel 0 boxes 0",
                          "FrameDecoded:0 link 1 raised 0 front 0 alarm panel 0 boxes 0",
                          "ReadingsShown link 1 raised 0 front 0 alarm panel 0 boxes 0",
                          "FrameDecoded:1 link 1 raised 0 front 0 alarm panel 0 boxes 0",
                          "MainsFailure link 1 raised 1 front 1 alarm panel 1 boxes 0",
                          "ReadingsShown link 1 raised 1 front 1 alarm panel 1 boxes 0",
                          "FrameDecoded:1 link 1 raised 1 front 1 alarm panel 1 boxes 0",
                          "ReadingsShown link 1 raised 1 front 1 alarm panel 1 boxes 0",
                          "FrameDecoded:0 link 1 raised 1 front 1 alarm panel 1 boxes 0",
                          "MainsRestored link 1 raised 0 front 1 alarm panel 0 boxes 0",
                          "ReadingsShown link 1 raised 0 front 1 alarm panel 0 boxes 0",
                          "LinkLost link 1 raised 0 front 1 alarm panel 0 boxes 0",
                      }));
    EXPECT_EQ(f.events.calls.size(), states.size());
}

} // namespace
