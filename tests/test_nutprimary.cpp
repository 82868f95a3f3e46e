// The served UPS fed by the monitor's events, and the power-off held for the secondaries.
#include "fakes/FakePlatform.h"
#include "fakes/VirtualClock.h"
#include "net/NutPrimary.h"

#include <gtest/gtest.h>

#include <memory>

using corvolt::net::NutFeed;
using corvolt::net::NutSession;
using corvolt::net::NutSettings;
using corvolt::net::NutUps;
using corvolt::net::ShutdownGate;

namespace {

StatusFrame Decoded(char alarm) {
    StatusFrame frame;
    frame.AlarmChar = static_cast<std::uint8_t>(alarm);
    frame.RegulationChar = '0';
    return frame;
}

struct Primary {
    CallLog log;
    FakeModApi system{log};
    NutUps ups{NutSettings{"corvolt", "Orvane Corvolt", "mon", "pw"}};
    NutFeed feed{ups};
    FakeTimer timer;
    ShutdownGate gate{system, ups, timer};
    VirtualClock clock{{&timer}};
    int accepted = 0;

    Primary() {
        system.acceptShutdown = true;
        gate.OnAccepted = [this] { ++accepted; };
    }
    std::string get(const std::string& variable) {
        NutSession probe(ups, "127.0.0.1");
        return probe.handle("GET VAR corvolt " + variable).lines.at(0);
    }
    std::unique_ptr<NutSession> secondary() {
        auto s = std::make_unique<NutSession>(ups, "192.0.2.7");
        for (const char* line : {"USERNAME mon", "PASSWORD pw", "LOGIN corvolt"})
            EXPECT_EQ(s->handle(line).lines.at(0), "OK");
        return s;
    }
    // The confirming final-alarm frame asks for the power-off; a bounded wait is started.
    bool confirm() {
        const bool result = gate.ShutdownWindows();
        clock.resync();
        return result;
    }
};

TEST(NutFeed, StaleUntilAFrameAndFromALostLinkToTheNextFrame) {
    Primary p;
    EXPECT_EQ(p.get("ups.status"), "ERR DATA-STALE");
    p.feed.FrameDecoded(Decoded('1'));
    p.feed.ReadingsShown({"120.", "60.", 83.13725f});
    EXPECT_EQ(p.get("ups.status"), "VAR corvolt ups.status \"OB\"");
    EXPECT_EQ(p.get("input.voltage"), "VAR corvolt input.voltage \"120\"");
    EXPECT_EQ(p.get("battery.charge"), "VAR corvolt battery.charge \"83.1\"");
    p.feed.LinkLost();
    p.feed.LinkUp();
    EXPECT_EQ(p.get("input.voltage"), "ERR DATA-STALE");
    p.feed.FrameDecoded(Decoded('0'));
    EXPECT_EQ(p.get("ups.status"), "VAR corvolt ups.status \"OL\"");
}

TEST(ShutdownGate, OneFinalAlarmFramePublishesOnBatteryLowWithoutFsd) {
    Primary p;
    p.feed.FrameDecoded(Decoded('2'));
    EXPECT_EQ(p.get("ups.status"), "VAR corvolt ups.status \"OB LB\"");
    EXPECT_FALSE(p.ups.forcedShutdown());
    EXPECT_EQ(p.system.shutdownRequests, 0);
}

TEST(ShutdownGate, WithoutSecondariesTheConfirmingFrameSetsFsdAndPowersOffAtOnce) {
    for (const bool accept : {true, false}) {
        Primary p;
        p.system.acceptShutdown = accept;
        p.feed.FrameDecoded(Decoded('2'));
        EXPECT_EQ(p.confirm(), accept);
        EXPECT_EQ(p.get("ups.status"), "VAR corvolt ups.status \"FSD OB LB\"");
        EXPECT_EQ(p.system.shutdownRequests, 1);
        EXPECT_FALSE(p.timer.isCounting());
        EXPECT_EQ(p.accepted, 0) << "the caller ends the program on an answer it gets";
        // A refusal is asked again by the next frame, straight through.
        p.gate.ShutdownWindows();
        EXPECT_EQ(p.system.shutdownRequests, 2);
    }
}

TEST(ShutdownGate, WaitsUntilEverySecondaryHasLeft) {
    Primary p;
    auto first = p.secondary();
    auto second = p.secondary();
    p.feed.FrameDecoded(Decoded('2'));
    EXPECT_FALSE(p.confirm());
    EXPECT_TRUE(p.ups.forcedShutdown());
    EXPECT_TRUE(p.gate.waiting());
    EXPECT_TRUE(p.timer.isCounting());
    EXPECT_EQ(p.timer.Interval(), ShutdownGate::SecondariesWaitMs);

    p.clock.runUntil(3000);
    first.reset();
    EXPECT_EQ(p.system.shutdownRequests, 0) << "one secondary is still logged in";
    // Further final-alarm frames during the wait start no second power-off.
    EXPECT_FALSE(p.gate.ShutdownWindows());
    p.clock.runUntil(6000);
    EXPECT_EQ(second->handle("LOGOUT").lines.at(0), "OK Goodbye");
    EXPECT_EQ(p.system.shutdownRequests, 1);
    EXPECT_EQ(p.accepted, 1);
    EXPECT_FALSE(p.timer.isCounting());
    EXPECT_FALSE(p.gate.waiting());
    second.reset();
    p.clock.runUntil(30000);
    EXPECT_EQ(p.system.shutdownRequests, 1);
}

TEST(ShutdownGate, ASecondaryThatNeverLeavesIsWaitedForFifteenSeconds) {
    for (const bool accept : {true, false}) {
        Primary p;
        p.system.acceptShutdown = accept;
        auto stays = p.secondary();
        EXPECT_FALSE(p.confirm());
        p.clock.runUntil(ShutdownGate::SecondariesWaitMs - 1);
        EXPECT_EQ(p.system.shutdownRequests, 0);
        EXPECT_FALSE(p.gate.ShutdownWindows());
        p.clock.runUntil(ShutdownGate::SecondariesWaitMs);
        EXPECT_EQ(p.system.shutdownRequests, 1);
        EXPECT_EQ(p.accepted, accept ? 1 : 0);
        EXPECT_FALSE(p.timer.isCounting());
        stays.reset(); // leaving after the wait asks nothing more
        EXPECT_EQ(p.system.shutdownRequests, 1);
    }
}

} // namespace
