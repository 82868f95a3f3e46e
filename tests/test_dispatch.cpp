// The receive dispatch through the main window, on fake platform services.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"
#include "ui/ProgressBar.h"

#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace {

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
        QByteArray block;
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
        EXPECT_EQ(f.form.StatusBar1->currentMessage(), QStringLiteral(" Sesión en Linux : 05 mins"))
            << row.name;
        // Nothing decoded, buffer not emptied a second time, no receiver but the uptime.
        EXPECT_EQ(f.log.entries, QStringList{QStringLiteral("Input")}) << row.name;
        EXPECT_EQ(f.form.Label_VL->text(), QStringLiteral("Voltaje de Línea : ")) << row.name;
    }
}

TEST(Dispatch, LinkedModeDecodesAndHandsTheFieldsOn) {
    FakeForm f;
    f.link();
    f.form.Timer3.setEnabled(false);
    f.comm.receive(Frame());
    EXPECT_EQ(f.form.Label_VL->text(), QStringLiteral("Voltaje de línea : 120. Volts"));
    EXPECT_EQ(f.form.Label_Fcia->text(), QStringLiteral("Frecuencia : 60.Hz."));
    EXPECT_EQ(f.form.Label_Status->text(), QStringLiteral("Regulando línea normal"));
    EXPECT_FLOAT_EQ(f.form.ProgressBar1->Value(), 83.13725f);
    ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
    EXPECT_FALSE(f.form.Timer3.Enabled()); // only the search arms it
    EXPECT_EQ(f.log.entries,
              (QStringList{QStringLiteral("Input"), QStringLiteral("InBufferCount=0")}));
}

TEST(Dispatch, LinkedModeBadHeaderOrShortBlockOnlyRearmsAndEmpties) {
    const QByteArray blocks[] = {
        Bytes({0x26, 0x26, 0x25, 46, 196, 212, 65, 92, '0', '1'}),
        Bytes({0x26, 0x26, 0x26, 46, 196, 212, 65, 92, '0'}), // header, but one byte short
        Bytes({0x26}),
    };
    for (const QByteArray& block : blocks) {
        FakeForm f;
        f.link();
        f.ticks.ticks = 3600000;
        f.form.Timer2.setEnabled(false);
        f.comm.receive(block);
        EXPECT_EQ(f.form.Label_VL->text(), QStringLiteral("Voltaje de Línea : "));
        EXPECT_FALSE(f.form.AlarmRaised);
        EXPECT_TRUE(f.form.BoxInfo->isVisibleTo(&f.form));
        EXPECT_EQ(f.form.StatusBar1->currentMessage(),
                  QStringLiteral(" Sesión en Linux : 1 hrs : "));
        ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
        EXPECT_EQ(f.log.entries.last(), QStringLiteral("InBufferCount=0"));
    }
}

TEST(Dispatch, WatchdogIsDisabledWhileTheReceiversRun) {
    // The shutdown request runs inside ShowAlarm, the first receiver: it records whether
    // the watchdog could fire at that moment.
    struct Probe final : ModApi {
        const Timer* watchdog = nullptr;
        bool enabledDuringReceivers = true;
        void BringToFront(QWidget&) override {}
        bool ShutdownWindows() override {
            enabledDuringReceivers = watchdog->Enabled();
            return false;
        }
    };
    CallLog log;
    FakeComm comm(log);
    FakeBoxes boxes(log);
    FakeTray tray(log);
    FakeTicks ticks;
    FakeLocale locale;
    FakeInstance instance(log);
    Probe probe;
    frmMain form(Platform{comm, boxes, tray, probe, ticks, locale, instance});
    probe.watchdog = &form.Timer2;
    form.LinkMode = 1;
    form.Timer2.setInterval(7000);
    form.Timer2.setEnabled(true);
    comm.receive(Frame('2'));
    EXPECT_FALSE(probe.enabledDuringReceivers);
    EXPECT_TRUE(form.Timer2.Enabled());
}

TEST(Dispatch, OnlyTheFirstTenBytesOfALongBlockAreUsed) {
    FakeForm f;
    f.link();
    QByteArray block = Frame('0', '1', 1, 0, 255, 78, 110);
    block += Frame('2', '2', 128, 127, 0, 1, 0) + Bytes({1, 2, 3, 4, 5}); // 25 bytes
    ASSERT_EQ(block.size(), 25);
    f.comm.receive(block);
    EXPECT_EQ(f.api.shutdownRequests, 0);
    EXPECT_EQ(f.form.Label_Status->text(), QStringLiteral("Regulando línea baja"));
    EXPECT_EQ(f.form.Label_Fcia->text(), QStringLiteral("Frecuencia : 50.Hz."));
    EXPECT_FLOAT_EQ(f.form.ProgressBar1->Value(), 100.0f);
    EXPECT_TRUE(f.comm.buffer.isEmpty());
}

TEST(Dispatch, OtherEventsChangeNothing) {
    for (int event : {1, 3, 4, 5, 6, 7, 1001, 1004, 1006, 1008, 1009, 1010, 1011}) {
        FakeForm f;
        f.link();
        f.comm.buffer = Frame('1');
        f.form.Timer2.setEnabled(false);
        f.comm.raise(event);
        EXPECT_TRUE(f.log.entries.isEmpty()) << event;
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
    EXPECT_THROW(f.comm.receive(Frame('2', '1', 1, 0, 0, 78, 110)), ProcessEnded);
    EXPECT_EQ(f.form.Label_Status->text(), QStringLiteral("Regulando Línea  :"));
    EXPECT_EQ(f.form.Label_Fcia->text(), QStringLiteral("Frecuencia :"));
    EXPECT_FALSE(f.form.Timer2.Enabled());
    EXPECT_FALSE(f.comm.open);
    EXPECT_TRUE(f.form.Label_Save->isVisibleTo(f.form.BoxAlarm));
    EXPECT_EQ(f.log.entries,
              (QStringList{QStringLiteral("Input"), QStringLiteral("BringToFront"),
                           QStringLiteral("ShutdownWindows"), QStringLiteral("InBufferCount=0"),
                           QStringLiteral("PortOpen=false"), QStringLiteral("intray=false"),
                           QStringLiteral("End")}));
}

TEST(Dispatch, OutOfRangeWordsKeepTheirLabelsAndTheRestIsHandled) {
    struct Row {
        const char* name;
        QByteArray frame;
        QString voltage;
        QString frequency;
    };
    const QString designVoltage = QStringLiteral("Voltaje de Línea : ");
    const QString designFrequency = QStringLiteral("Frecuencia :");
    const Row rows[] = {
        {"voltage 129,0", Frame('1', '2', 129, 0, 128, 78, 110), designVoltage,
         QStringLiteral("Frecuencia : 50.Hz.")},
        {"voltage 128,128", Frame('1', '2', 128, 128, 128, 78, 110), designVoltage,
         QStringLiteral("Frecuencia : 50.Hz.")},
        {"period 255,255", Frame('1', '2', 46, 196, 128, 255, 255),
         QStringLiteral("Voltaje de línea : 120. Volts"), designFrequency},
        {"both", Frame('1', '2', 200, 200, 128, 200, 200), designVoltage, designFrequency},
        {"largest in range", Frame('1', '2', 128, 127, 128, 128, 127),
         QStringLiteral("Voltaje de línea : 2361.39 Volts"),
         QStringLiteral("Frecuencia : 30.52Hz.")},
    };
    for (const Row& row : rows) {
        FakeForm f;
        f.link();
        f.comm.receive(row.frame);
        EXPECT_EQ(f.form.Label_VL->text(), row.voltage) << row.name;
        EXPECT_EQ(f.form.Label_Fcia->text(), row.frequency) << row.name;
        EXPECT_TRUE(f.form.AlarmRaised) << row.name;
        EXPECT_EQ(f.form.Label_Status->text(), QStringLiteral("Regulando línea alta")) << row.name;
        EXPECT_FLOAT_EQ(f.form.ProgressBar1->Value(), 50.19608f) << row.name;
        ExpectTimer(f.form.Timer2, {true, 7000}, row.name);
        EXPECT_EQ(f.log.entries.last(), QStringLiteral("InBufferCount=0")) << row.name;
    }
}

TEST(Dispatch, ZeroPeriodShowsNoFrequencyAndTheFrameGoesOn) {
    FakeForm f;
    f.link();
    f.comm.receive(Frame('0', '1', 46, 196, 64, 0, 0));
    EXPECT_EQ(f.form.Label_Fcia->text(), QStringLiteral("Frecuencia : Hz."));
    EXPECT_EQ(f.form.Label_VL->text(), QStringLiteral("Voltaje de línea : 120. Volts"));
    EXPECT_EQ(f.form.Label_Status->text(), QStringLiteral("Regulando línea baja"));
    EXPECT_FLOAT_EQ(f.form.ProgressBar1->Value(), 25.09804f);
    ExpectTimer(f.form.Timer2, {true, 7000}, "Timer2");
}

} // namespace
