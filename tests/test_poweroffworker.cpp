// The power-off worker: one attempt at a time, a bounded wait for its caller, and checks
// answered on the worker thread; against a service whose calls can be held.
#include "platform/linux/PowerOffWorker.h"

#include "fakes/FakePowerOffService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Requests until one answers true, for at most 10 s; how many it took.
int RequestUntilAccepted(PowerOffWorker& worker) {
    for (int tries = 1; tries <= 1000; ++tries) {
        if (worker.Request())
            return tries;
        std::this_thread::sleep_for(10ms);
    }
    return 0;
}

TEST(PowerOffWorker, AnswerWithinTheWaitIsTheResult) {
    struct Case {
        PowerOffPermission permission;
        bool accepted;
        bool expected;
        int powerOffCalls; // per attempt
    };
    const Case cases[] = {
        {PowerOffPermission::Allowed, true, true, 1},
        {PowerOffPermission::Allowed, false, false, 1},
        {PowerOffPermission::Refused, true, false, 0},
        {PowerOffPermission::Unreachable, true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.permission));
        SCOPED_TRACE(c.accepted);
        FakePowerOffService service({c.permission, c.accepted});
        // A long wait: the result must come as soon as the service has answered.
        PowerOffWorker worker(service, 10s);
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(worker.Request(), c.expected);
        EXPECT_LT(Clock::now() - start, 10s);
        // A failed attempt is made again by the next request; an accepted one is not.
        EXPECT_EQ(worker.Request(), c.expected);
        const int attempts = c.expected ? 1 : 2;
        EXPECT_EQ(service.CanCalls(), attempts);
        EXPECT_EQ(service.PowerOffCalls(), attempts * c.powerOffCalls);
    }
}

TEST(PowerOffWorker, HangingServiceHoldsTheCallerForTheWaitOnly) {
    FakePowerOffService service;
    service.Hold();
    PowerOffWorker worker(service, 200ms);
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(worker.Request());
    EXPECT_GE(Clock::now() - start, 200ms);
    ASSERT_TRUE(service.AwaitCanCalls(1));

    // While the attempt is under way no other one starts, and no caller waits.
    start = Clock::now();
    EXPECT_FALSE(worker.Request());
    EXPECT_FALSE(worker.Request());
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_EQ(service.CanCalls(), 1);

    // The late acceptance is reported to the next request, and stays.
    service.Release(PowerOffPermission::Allowed);
    EXPECT_GT(RequestUntilAccepted(worker), 0);
    EXPECT_TRUE(worker.Request());
    EXPECT_EQ(service.CanCalls(), 1);
    EXPECT_EQ(service.PowerOffCalls(), 1);
}

TEST(PowerOffWorker, LateRefusalLetsTheNextRequestTryAgain) {
    FakePowerOffService service;
    service.Hold();
    PowerOffWorker worker(service, 20ms);
    EXPECT_FALSE(worker.Request());
    ASSERT_TRUE(service.AwaitCanCalls(1));
    // The refused attempt ends; a later request makes a second one, which is accepted.
    service.Release(PowerOffPermission::Refused);
    EXPECT_GT(RequestUntilAccepted(worker), 0);
    EXPECT_EQ(service.CanCalls(), 2);
    EXPECT_EQ(service.PowerOffCalls(), 1);
}

TEST(PowerOffWorker, ChecksAreAnsweredOnTheWorkerThread) {
    FakePowerOffService service;
    service.Hold();
    std::mutex mutex;
    std::condition_variable answered;
    int firstCalls = 0, secondCalls = 0;
    PowerOffPermission answer = PowerOffPermission::Allowed;
    std::thread::id answeredOn;
    {
        PowerOffWorker worker(service);
        worker.Check([&](PowerOffPermission) { ++firstCalls; });
        ASSERT_TRUE(service.AwaitCanCalls(1));
        // A second check while the first is under way shares its answer.
        worker.Check([&](PowerOffPermission p) {
            std::lock_guard<std::mutex> lock(mutex);
            ++secondCalls;
            answer = p;
            answeredOn = std::this_thread::get_id();
            answered.notify_all();
        });
        service.Release(PowerOffPermission::Refused);
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(answered.wait_for(lock, 10s, [&] { return secondCalls > 0; }));
    }
    EXPECT_EQ(firstCalls, 0);
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(answer, PowerOffPermission::Refused);
    EXPECT_NE(answeredOn, std::this_thread::get_id());
    EXPECT_EQ(service.CanCalls(), 1);
    EXPECT_EQ(service.PowerOffCalls(), 0);
}

TEST(PowerOffWorker, ForgottenCheckIsNotAnswered) {
    FakePowerOffService service;
    service.Hold();
    bool called = false;
    {
        PowerOffWorker worker(service);
        worker.Check([&](PowerOffPermission) { called = true; });
        ASSERT_TRUE(service.AwaitCanCalls(1));
        worker.ForgetCheck();
        service.Release(PowerOffPermission::Allowed);
    } // joins the worker: its check has ended
    EXPECT_FALSE(called);
}

} // namespace
