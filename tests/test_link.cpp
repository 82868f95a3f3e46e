// The port search (Timer1) and the link watchdog (Timer2), driven in virtual time, and the
// timers' own semantics.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"
#include "fakes/VirtualClock.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Entries = std::vector<std::string>;

const std::string NoLinkPrompt =
    "No se pudo establecer comunicación con el equipo\r\nVerifique las conexiones.";
const std::string LostLinkPrompt =
    "Se ha perdido la comunicación con el equipo\r\nVerifique las conexiones";
constexpr int FramingError = 1004; // a line event of the serial control

struct Search : FakeForm {
    VirtualClock clock{{&form.Timer1, &form.Timer2, &form.Timer3}};
    const Entries& statusTexts = view.StatusBar1.texts; // every new status-bar text, in order
    std::vector<std::int64_t> statusTimes;

    Search() {
        start();
        clock.resync();
        view.StatusBar1.OnText = [this](const std::string&) { statusTimes.push_back(clock.now()); };
    }
    // Advances virtual time, firing the search and watchdog ticks that fall due.
    void run(std::int64_t until) { clock.runUntil(until); }
    void receive(const Bytes& block) {
        comm.receive(block);
        clock.resync();
    }
};

TEST(PortSearch, SweepsCom1ToCom4AndAsksAfterTheFourthSweep) {
    Search s;
    s.boxes.answers = {vb::Retry, vb::Retry};
    s.run(19999);
    EXPECT_TRUE(s.boxes.calls.empty());
    ASSERT_EQ(s.statusTexts.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(s.statusTexts[i], " Buscando en COM" + std::to_string(i % 4 + 1));
        // Sweep k (0-based) starts at 5 k + 1 seconds; each port is tried for a second.
        EXPECT_EQ(s.statusTimes[i], (i / 4) * 5000 + (i % 4 + 1) * 1000) << i;
    }
    s.run(20000); // the 20th tick
    ASSERT_EQ(s.boxes.calls.size(), 1u);
    EXPECT_EQ(s.boxes.calls[0].prompt, NoLinkPrompt);
    EXPECT_EQ(s.boxes.calls[0].style, vb::Critical | vb::RetryCancel);
    EXPECT_EQ(s.boxes.calls[0].title, "Atención");
    EXPECT_EQ(s.statusTexts.back(), "No se pudo establecer comunicación");
    EXPECT_EQ(s.form.SweepCount, 4);
    EXPECT_EQ(s.form.PortNumber, 0);
    EXPECT_FALSE(s.comm.open);

    // Retry goes on without resetting the count: the box comes again 5 ticks later.
    s.run(24999);
    EXPECT_EQ(s.boxes.calls.size(), 1u);
    s.run(25000);
    EXPECT_EQ(s.boxes.calls.size(), 2u);
    EXPECT_EQ(s.form.SweepCount, 5);
    EXPECT_EQ(s.comm.commPortWrittenWhileOpen, 0);
}

TEST(PortSearch, CancelEndsTheProgram) {
    Search s;
    s.boxes.answers = {vb::Cancel};
    EXPECT_THROW(s.run(20000), ProcessEnded);
    EXPECT_EQ(s.instance.ended, 1);
}

TEST(PortSearch, MissingPortsTakeATenthOfASecond) {
    Search s;
    s.comm.openErrors = {
        {2, comm::ErrNoSuchPort}, {3, comm::ErrNoSuchPort}, {4, comm::ErrNoSuchPort}};
    s.run(2300);
    // COM1 at 1 s, COM2 at 2 s (missing), COM3 2.1 s, COM4 2.2 s, sweep end 2.3 s.
    const std::vector<std::int64_t> expected = {1000, 2000, 2100, 2200};
    EXPECT_EQ(s.statusTimes, expected);
    EXPECT_EQ(s.form.SweepCount, 1);
    EXPECT_EQ(s.form.Timer1.Interval(), 1000);
    s.run(3300);
    EXPECT_EQ(s.statusTexts.back(), " Buscando en COM1");
    EXPECT_EQ(s.statusTimes.back(), 3300);
}

TEST(PortSearch, OtherOpenFailuresKeepTheNormalStep) {
    Search s;
    s.comm.openErrors = {{1, comm::ErrOpenFailed}, {2, comm::ErrOpenFailed}};
    s.run(3000);
    const std::vector<std::int64_t> expected = {1000, 2000, 3000};
    EXPECT_EQ(s.statusTimes, expected);
    EXPECT_EQ(s.statusTexts.back(), " Buscando en COM3");
}

// A refused port's text stays while the search goes on, across sweeps, until a port opens.
TEST(PortSearch, RefusalTextsLastUntilAPortOpens) {
    const struct {
        int error;
        const char* text;
    } refusals[] = {
        {comm::ErrPermissionDenied, " Sin permiso para abrir COM1"},
        {comm::ErrPortInUse, " COM1 ocupado por otro programa"},
    };
    for (const auto& refusal : refusals) {
        Search s;
        s.comm.openErrors = {{1, refusal.error},
                             {2, comm::ErrOpenFailed},
                             {3, comm::ErrNoSuchPort},
                             {4, comm::ErrNoSuchPort}};
        // Sweeps start at 1 s and 4.2 s (COM3 and COM4 are missing, a tenth of a second each).
        s.run(5500);
        EXPECT_EQ(s.statusTexts, (Entries{" Buscando en COM1", refusal.text, refusal.text}))
            << refusal.text;
        EXPECT_EQ(s.statusTimes, (std::vector<std::int64_t>{1000, 1000, 4200})) << refusal.text;
        EXPECT_EQ(s.form.Timer1.Interval(), 1000) << refusal.text;

        s.comm.openErrors.erase(1); // the user freed the port
        s.run(7400);
        EXPECT_EQ(s.statusTexts.back(), " Buscando en COM1") << refusal.text;
        EXPECT_EQ(s.statusTimes.size(), 4u) << refusal.text;
        EXPECT_TRUE(s.comm.open) << refusal.text;
        s.run(8400);
        EXPECT_EQ(s.statusTexts.back(), " Buscando en COM2") << refusal.text;
    }
}

TEST(PortSearch, HandshakeOnCom2EndsTheSearchWithCom2Open) {
    Search s;
    s.run(2500);
    ASSERT_TRUE(s.comm.open);
    ASSERT_EQ(s.comm.port, 2);
    s.receive(Frame());
    EXPECT_EQ(s.form.LinkMode, 1);
    EXPECT_FALSE(s.form.Timer1.Enabled());
    EXPECT_EQ(s.form.Timer1.Interval(), 0);
    const std::size_t commandsBefore = s.log.entries.size();
    s.form.Timer1_Timer(); // a tick that was already queued does nothing but reset the interval
    EXPECT_EQ(s.log.entries.size(), commandsBefore);
    EXPECT_TRUE(s.comm.open);
    EXPECT_EQ(s.comm.port, 2);
    EXPECT_EQ(s.form.PortNumber, 2);
}

TEST(PortSearch, ClosesThePreviousPortBeforeSelectingTheNext) {
    Search s;
    s.run(3000);
    const Entries expected = {
        "CommPort=1",    "PortOpen=true",  "PortOpen=false", "CommPort=2",
        "PortOpen=true", "PortOpen=false", "CommPort=3",     "PortOpen=true",
    };
    EXPECT_EQ(s.log.entries, expected);
    EXPECT_EQ(s.comm.commPortWrittenWhileOpen, 0);
}

TEST(PortSearch, SweepCountSaturatesAndTheSearchGoesOn) {
    Search s;
    s.form.SweepCount = std::numeric_limits<std::int16_t>::max() - 1;
    s.boxes.answers = {vb::Retry, vb::Retry, vb::Retry};
    s.run(5000);
    EXPECT_EQ(s.form.SweepCount, 32767);
    s.run(10000);
    EXPECT_EQ(s.form.SweepCount, 32767);
    EXPECT_EQ(s.boxes.calls.size(), 2u);
    s.run(11000);
    EXPECT_EQ(s.statusTexts.back(), " Buscando en COM1");
    EXPECT_TRUE(s.comm.open);
}

TEST(PortSearch, TicksWhileTheBoxIsOpenDoNotAskAgain) {
    Search s;
    s.form.SweepCount = 3;
    s.form.PortNumber = 4;
    int nestedTicks = 0;
    s.boxes.answers = {vb::Retry};
    s.boxes.whileOpen = [&] {
        // Qt delivers further ticks inside the box's own event loop.
        for (int i = 0; i < 3; ++i, ++nestedTicks)
            s.form.Timer1_Timer();
        s.form.Timer2_Timer();
    };
    s.form.Timer1_Timer();
    EXPECT_EQ(nestedTicks, 3);
    ASSERT_EQ(s.boxes.calls.size(), 1u);
    EXPECT_EQ(s.form.PortNumber, 0);
    EXPECT_EQ(s.form.SweepCount, 4);
    s.form.Timer1_Timer(); // after the answer the search carries on with COM1
    EXPECT_EQ(s.form.PortNumber, 1);
    EXPECT_TRUE(s.comm.open);
}

struct Linked : Search {
    Linked() {
        run(1000); // COM1 open
        receive(Frame());
        EXPECT_EQ(form.LinkMode, 1);
    }
};

TEST(Watchdog, AsksSevenSecondsAfterTheLastBlock) {
    Linked s;
    s.boxes.answers = {vb::Retry};
    s.run(4000);
    s.receive(Frame());
    const std::int64_t lastBlock = s.clock.now();
    s.run(lastBlock + 6999);
    EXPECT_TRUE(s.boxes.calls.empty());
    s.run(lastBlock + 7000);
    ASSERT_EQ(s.boxes.calls.size(), 1u);
    EXPECT_EQ(s.boxes.calls[0].prompt, LostLinkPrompt);
    EXPECT_EQ(s.boxes.calls[0].style, vb::Critical | vb::RetryCancel);
    EXPECT_EQ(s.boxes.calls[0].title, "Atención");
}

TEST(Watchdog, RetryClosesThePortAndSearchesFromCom1) {
    Linked s;
    s.form.SweepCount = 2;
    s.boxes.answers = {vb::Retry};
    s.run(8000);
    ASSERT_EQ(s.boxes.calls.size(), 1u);
    EXPECT_FALSE(s.comm.open);
    EXPECT_EQ(s.form.LinkMode, 0);
    EXPECT_EQ(s.form.PortNumber, 0);
    EXPECT_EQ(s.form.SweepCount, 0);
    EXPECT_FALSE(s.form.Timer2.Enabled());
    EXPECT_TRUE(s.form.Timer1.Enabled());
    EXPECT_EQ(s.form.Timer1.Interval(), 1000);
    s.run(9000);
    EXPECT_EQ(s.statusTexts.back(), " Buscando en COM1");
    EXPECT_EQ(s.statusTimes.back(), 9000);
    EXPECT_TRUE(s.comm.open);
}

TEST(Watchdog, CancelEndsTheProgramClosingThePort) {
    Linked s;
    s.boxes.answers = {vb::Cancel};
    EXPECT_THROW(s.run(8000), ProcessEnded);
    EXPECT_FALSE(s.comm.open);
    EXPECT_EQ(Entries(s.log.entries.end() - 4, s.log.entries.end()),
              (Entries{"InBufferCount=0", "PortOpen=false", "intray=false", "End"}));
}

TEST(Watchdog, BlocksWithBadHeadersKeepItQuiet) {
    Linked s;
    for (int second = 1; second <= 30; ++second) {
        s.run(1000 + second * 1000);
        s.receive(Bytes({'x', 'y', 'z', 0, 0, 0, 0, 0, 0, 0}));
    }
    EXPECT_TRUE(s.boxes.calls.empty());
}

TEST(Watchdog, LineErrorsDoNotRearmIt) {
    Linked s;
    s.boxes.answers = {vb::Retry};
    for (int t = 2000; t <= 7000; t += 1000) {
        s.run(t);
        s.comm.raise(FramingError);
        s.clock.resync();
    }
    s.run(7999);
    EXPECT_TRUE(s.boxes.calls.empty());
    s.run(8000); // 7 s after the handshake block at 1 s
    EXPECT_EQ(s.boxes.calls.size(), 1u);
}

TEST(Watchdog, SilentDuringTheSearch) {
    Search s;
    s.run(1500);
    s.receive(Bytes({'&', '&', '%', 0, 0, 0, 0, 0, 0, 0})); // arms the watchdog, no link
    s.run(19000);
    EXPECT_TRUE(s.boxes.calls.empty());
    EXPECT_TRUE(s.form.Timer2.Enabled()); // it keeps running, its ticks do nothing
}

TEST(Watchdog, TicksAndBlocksWhileItsBoxIsOpen) {
    Linked s;
    s.boxes.answers = {vb::Retry};
    s.boxes.whileOpen = [&] {
        s.form.Timer2_Timer();      // a second tick: deferred, no second box
        s.receive(Frame('0', '1')); // a block is handled as usual
    };
    s.run(8000);
    EXPECT_EQ(s.boxes.calls.size(), 1u);
    EXPECT_EQ(s.form.Label_Status.Caption(), "Regulando línea baja");
    // Retry restarts the search even though a block arrived meanwhile.
    EXPECT_EQ(s.form.LinkMode, 0);
    EXPECT_FALSE(s.comm.open);
}

// The window timer's own rules, which every view inherits.
TEST(Timer, IntervalAndEnabled) {
    FakeTimer timer;
    EXPECT_FALSE(timer.isCounting());
    timer.setEnabled(true);
    EXPECT_FALSE(timer.isCounting()) << "a timer without an interval never ticks";
    EXPECT_FALSE(timer.running);
    timer.setInterval(1000);
    EXPECT_TRUE(timer.isCounting());
    EXPECT_TRUE(timer.running);
    EXPECT_EQ(timer.countdownMs, 1000);
    const std::uint64_t starts = timer.Starts();
    timer.setInterval(1000);
    EXPECT_EQ(timer.Starts(), starts + 1) << "setting the interval restarts the countdown";
    timer.setEnabled(true);
    EXPECT_EQ(timer.Starts(), starts + 1) << "enabling an enabled timer changes nothing";
    timer.setInterval(0);
    EXPECT_FALSE(timer.isCounting());
    EXPECT_FALSE(timer.running);
    EXPECT_TRUE(timer.Enabled());
    timer.setInterval(50);
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isCounting());
    EXPECT_FALSE(timer.running);
    EXPECT_EQ(timer.Interval(), 50);
    timer.setInterval(-5);
    EXPECT_EQ(timer.Interval(), 0) << "a negative interval counts as none";
}

} // namespace
