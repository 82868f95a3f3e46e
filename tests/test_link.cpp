// The port search (Timer1) and the link watchdog (Timer2), driven in virtual time.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"
#include "fakes/VirtualClock.h"

#include <QLabel>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace {

const QString NoLinkPrompt =
    QStringLiteral("No se pudo establecer comunicación con el equipo\r\nVerifique las conexiones.");
const QString LostLinkPrompt =
    QStringLiteral("Se ha perdido la comunicación con el equipo\r\nVerifique las conexiones");

struct Search : FakeForm {
    VirtualClock clock{{&form.Timer1, &form.Timer2, &form.Timer3}};
    QStringList statusTexts; // every new status-bar text, in order
    std::vector<std::int64_t> statusTimes;

    Search() {
        start();
        clock.resync();
        QObject::connect(form.StatusBar1, &QStatusBar::messageChanged, [this](const QString& text) {
            statusTexts.append(text);
            statusTimes.push_back(clock.now());
        });
    }
    // Advances virtual time, firing the search and watchdog ticks that fall due.
    void run(std::int64_t until) { clock.runUntil(until); }
    void receive(const QByteArray& block) {
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
        EXPECT_EQ(s.statusTexts[i], QStringLiteral(" Buscando en COM%1").arg(i % 4 + 1));
        // Sweep k (0-based) starts at 5 k + 1 seconds; each port is tried for a second.
        EXPECT_EQ(s.statusTimes[i], (i / 4) * 5000 + (i % 4 + 1) * 1000) << i;
    }
    s.run(20000); // the 20th tick
    ASSERT_EQ(s.boxes.calls.size(), 1u);
    EXPECT_EQ(s.boxes.calls[0].prompt, NoLinkPrompt);
    EXPECT_EQ(s.boxes.calls[0].style, vb::Critical | vb::RetryCancel);
    EXPECT_EQ(s.boxes.calls[0].title, QStringLiteral("Atención"));
    EXPECT_EQ(s.statusTexts.last(), QStringLiteral("No se pudo establecer comunicación"));
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
    EXPECT_EQ(s.statusTexts.last(), QStringLiteral(" Buscando en COM1"));
    EXPECT_EQ(s.statusTimes.back(), 3300);
}

TEST(PortSearch, OtherOpenFailuresKeepTheNormalStep) {
    Search s;
    s.comm.openErrors = {{1, comm::ErrPortInUse}, {2, comm::ErrOpenFailed}};
    s.run(3000);
    const std::vector<std::int64_t> expected = {1000, 2000, 3000};
    EXPECT_EQ(s.statusTimes, expected);
    EXPECT_EQ(s.statusTexts.last(), QStringLiteral(" Buscando en COM3"));
}

TEST(PortSearch, PermissionDeniedIsSaidOnTheStatusBar) {
    Search s;
    s.comm.openErrors = {{1, comm::ErrPermissionDenied}, {2, comm::ErrNoSuchPort}};
    s.run(1000);
    EXPECT_EQ(s.statusTexts, (QStringList{QStringLiteral(" Buscando en COM1"),
                                          QStringLiteral(" Sin permiso para abrir COM1")}));
    EXPECT_EQ(s.form.Timer1.Interval(), 1000);
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
    const int commandsBefore = s.log.entries.size();
    s.form.Timer1_Timer(); // a tick that was already queued does nothing but reset the interval
    EXPECT_EQ(s.log.entries.size(), commandsBefore);
    EXPECT_TRUE(s.comm.open);
    EXPECT_EQ(s.comm.port, 2);
    EXPECT_EQ(s.form.PortNumber, 2);
}

TEST(PortSearch, ClosesThePreviousPortBeforeSelectingTheNext) {
    Search s;
    s.run(3000);
    const QStringList expected = {
        QStringLiteral("CommPort=1"),     QStringLiteral("PortOpen=true"),
        QStringLiteral("PortOpen=false"), QStringLiteral("CommPort=2"),
        QStringLiteral("PortOpen=true"),  QStringLiteral("PortOpen=false"),
        QStringLiteral("CommPort=3"),     QStringLiteral("PortOpen=true"),
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
    EXPECT_EQ(s.statusTexts.last(), QStringLiteral(" Buscando en COM1"));
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
    EXPECT_EQ(s.boxes.calls[0].title, QStringLiteral("Atención"));
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
    EXPECT_EQ(s.statusTexts.last(), QStringLiteral(" Buscando en COM1"));
    EXPECT_EQ(s.statusTimes.back(), 9000);
    EXPECT_TRUE(s.comm.open);
}

TEST(Watchdog, CancelEndsTheProgramClosingThePort) {
    Linked s;
    s.boxes.answers = {vb::Cancel};
    EXPECT_THROW(s.run(8000), ProcessEnded);
    EXPECT_FALSE(s.comm.open);
    EXPECT_EQ(s.log.entries.mid(s.log.entries.size() - 4),
              (QStringList{QStringLiteral("InBufferCount=0"), QStringLiteral("PortOpen=false"),
                           QStringLiteral("intray=false"), QStringLiteral("End")}));
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
        s.comm.raise(comm::EvFrame);
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
    EXPECT_EQ(s.form.Label_Status->text(), QStringLiteral("Regulando línea baja"));
    // Retry restarts the search even though a block arrived meanwhile.
    EXPECT_EQ(s.form.LinkMode, 0);
    EXPECT_FALSE(s.comm.open);
}

} // namespace
