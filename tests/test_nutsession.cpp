#include "net/NutSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using corvolt::net::NutSession;
using corvolt::net::NutSettings;
using corvolt::net::NutUps;
using Lines = std::vector<std::string>;

namespace {

NutSettings settings() {
    NutSettings s;
    s.user = "mon";
    s.password = "secret";
    return s;
}

// The frame of the worked example as the window shows it: "120." V, "60." Hz, charge 212.
void normalFrame(NutUps& ups, std::uint8_t regulation = '0', std::uint8_t alarm = '0') {
    ups.updateStatus(regulation, alarm);
    ups.updateReadings("120.", "60.", 83.13725f);
}

const Lines kFreshVars = {
    "BEGIN LIST VAR corvolt",
    "VAR corvolt battery.charge \"83.1\"",
    "VAR corvolt device.type \"ups\"",
    "VAR corvolt driver.name \"corvolt\"",
    "VAR corvolt input.frequency \"60\"",
    "VAR corvolt input.voltage \"120\"",
    "VAR corvolt ups.mfr \"Orvane\"",
    "VAR corvolt ups.model \"Corvolt\"",
    "VAR corvolt ups.status \"OL\"",
    "END LIST VAR corvolt",
};

struct Exchange {
    std::string request;
    Lines reply;
};

struct Case {
    const char* name;
    std::function<void(NutUps&)> prepare; // frames and link state before the requests
    std::vector<Exchange> exchanges;      // sent in order on one session
};

const std::string kTooLong = "GET VAR corvolt " + std::string(600, 'x');

const std::vector<Case> kCases = {
    {"commands needing no UPS data, before any frame",
     [](NutUps&) {},
     {
         {"VER", {"Corvolt 2.00.0001 NUT network server"}},
         {"NETVER", {"1.3"}},
         {"protver", {"1.3"}},
         {"HELP",
          {"Commands: HELP VER GET LIST SET INSTCMD LOGIN LOGOUT USERNAME PASSWORD STARTTLS"}},
         {"LIST UPS", {"BEGIN LIST UPS", "UPS corvolt \"Orvane Corvolt\"", "END LIST UPS"}},
         {"GET UPSDESC CorVolt", {"UPSDESC CorVolt \"Orvane Corvolt\""}},
         {"GET NUMLOGINS corvolt", {"NUMLOGINS corvolt 0"}},
         {"LIST CLIENT corvolt", {"BEGIN LIST CLIENT corvolt", "END LIST CLIENT corvolt"}},
         {"GET CMDDESC corvolt shutdown.return", {"ERR CMD-NOT-SUPPORTED"}},
         {"STARTTLS", {"ERR FEATURE-NOT-CONFIGURED"}},
     }},
    {"stale before the first frame",
     [](NutUps&) {},
     {
         {"GET VAR corvolt ups.status", {"ERR DATA-STALE"}},
         {"GET VAR corvolt no.such", {"ERR DATA-STALE"}},
         {"LIST VAR corvolt", {"ERR DATA-STALE"}},
         {"LIST CMD corvolt", {"ERR DATA-STALE"}},
         {"GET VAR other ups.status", {"ERR UNKNOWN-UPS"}},
     }},
    {"readings of a normal frame",
     [](NutUps& ups) { normalFrame(ups); },
     {
         {"LIST VAR corvolt", kFreshVars},
         {"GET VAR CORVOLT input.voltage", {"VAR CORVOLT input.voltage \"120\""}},
         {"GET VAR corvolt UPS.STATUS", {"VAR corvolt UPS.STATUS \"OL\""}},
         {"GET VAR corvolt input.current", {"ERR VAR-NOT-SUPPORTED"}},
         {"GET DESC corvolt ups.status", {"DESC corvolt ups.status \"Description unavailable\""}},
         {"LIST RW corvolt", {"BEGIN LIST RW corvolt", "END LIST RW corvolt"}},
         {"list cmd Corvolt", {"BEGIN LIST CMD Corvolt", "END LIST CMD Corvolt"}},
         {"LIST ENUM corvolt ups.status",
          {"BEGIN LIST ENUM corvolt ups.status", "END LIST ENUM corvolt ups.status"}},
         {"LIST RANGE corvolt input.voltage",
          {"BEGIN LIST RANGE corvolt input.voltage", "END LIST RANGE corvolt input.voltage"}},
         {"LIST RANGE corvolt no.such", {"ERR VAR-NOT-SUPPORTED"}},
         {"LIST VAR ups2", {"ERR UNKNOWN-UPS"}},
     }},
    {"link lost after a frame, then back",
     [](NutUps& ups) {
         normalFrame(ups);
         ups.setStale(true);
     },
     {
         {"GET VAR corvolt ups.status", {"ERR DATA-STALE"}},
         {"GET NUMLOGINS corvolt", {"NUMLOGINS corvolt 0"}},
     }},
    {"mains failure and regulation",
     [](NutUps& ups) { normalFrame(ups, '1', '1'); },
     {{"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"OB BOOST\""}}}},
    {"high line on mains",
     [](NutUps& ups) { normalFrame(ups, '2', '0'); },
     {{"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"OL TRIM\""}}}},
    {"unknown characters keep the previous state",
     [](NutUps& ups) {
         normalFrame(ups, '1', '1');
         normalFrame(ups, '7', 'x');
     },
     {{"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"OB BOOST\""}}}},
    {"one final-alarm frame publishes OB LB only",
     [](NutUps& ups) {
         normalFrame(ups);
         normalFrame(ups, '0', '2');
     },
     {{"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"OB LB\""}}}},
    {"forced shutdown",
     [](NutUps& ups) {
         normalFrame(ups, '0', '2');
         ups.setForcedShutdown();
     },
     {{"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"FSD OB LB\""}}}},
    {"FSD stays after the alarm clears",
     [](NutUps& ups) {
         ups.setForcedShutdown();
         normalFrame(ups);
     },
     {{"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"FSD OL\""}}}},
    {"failed calibration and no frequency",
     [](NutUps& ups) {
         normalFrame(ups);
         ups.updateReadings("", "", 0);
     },
     {
         {"GET VAR corvolt input.voltage", {"ERR VAR-NOT-SUPPORTED"}},
         {"GET VAR corvolt input.frequency", {"ERR VAR-NOT-SUPPORTED"}},
         {"GET VAR corvolt battery.charge", {"VAR corvolt battery.charge \"0.0\""}},
     }},
    {"a reading the frame does not carry keeps its last value",
     [](NutUps& ups) {
         normalFrame(ups);
         ups.updateReadings(std::nullopt, std::nullopt, 100);
     },
     {
         {"GET VAR corvolt input.voltage", {"VAR corvolt input.voltage \"120\""}},
         {"GET VAR corvolt input.frequency", {"VAR corvolt input.frequency \"60\""}},
         {"GET VAR corvolt battery.charge", {"VAR corvolt battery.charge \"100.0\""}},
     }},
    {"the window's separators become a dot",
     [](NutUps& ups) {
         normalFrame(ups);
         ups.updateReadings("112,18", ",5", 50.19608f);
     },
     {
         {"GET VAR corvolt input.voltage", {"VAR corvolt input.voltage \"112.18\""}},
         {"GET VAR corvolt input.frequency", {"VAR corvolt input.frequency \"0.5\""}},
         {"GET VAR corvolt battery.charge", {"VAR corvolt battery.charge \"50.2\""}},
     }},
    {"a separator of several bytes",
     [](NutUps& ups) {
         normalFrame(ups);
         ups.updateReadings("95\u066b3", "1000000.", 0);
     },
     {
         {"GET VAR corvolt input.voltage", {"VAR corvolt input.voltage \"95.3\""}},
         {"GET VAR corvolt input.frequency", {"VAR corvolt input.frequency \"1000000\""}},
     }},
    {"login flow",
     [](NutUps& ups) { normalFrame(ups); },
     {
         {"LOGIN corvolt", {"ERR USERNAME-REQUIRED"}},
         {"USERNAME mon", {"OK"}},
         {"USERNAME other", {"ERR ALREADY-SET-USERNAME"}},
         {"LOGIN corvolt", {"ERR PASSWORD-REQUIRED"}},
         {"PASSWORD \"secret\"", {"OK"}},
         {"PASSWORD again", {"ERR ALREADY-SET-PASSWORD"}},
         {"LOGIN nope", {"ERR UNKNOWN-UPS"}},
         {"LOGIN Corvolt", {"OK"}},
         {"LOGIN corvolt", {"ERR ALREADY-LOGGED-IN"}},
         {"GET NUMLOGINS corvolt", {"NUMLOGINS corvolt 1"}},
         {"LIST CLIENT corvolt",
          {"BEGIN LIST CLIENT corvolt", "CLIENT corvolt 127.0.0.1", "END LIST CLIENT corvolt"}},
         {"PRIMARY corvolt", {"ERR ACCESS-DENIED"}},
         {"LOGOUT", {"OK Goodbye"}},
         {"GET NUMLOGINS corvolt", {"NUMLOGINS corvolt 0"}},
     }},
    {"wrong password",
     [](NutUps&) {},
     {
         {"USERNAME mon", {"OK"}},
         {"PASSWORD secre", {"OK"}},
         {"LOGIN corvolt", {"ERR ACCESS-DENIED"}},
         {"GET NUMLOGINS corvolt", {"NUMLOGINS corvolt 0"}},
     }},
    {"commands refused to clients",
     [](NutUps& ups) { normalFrame(ups); },
     {
         {"MASTER corvolt", {"ERR ACCESS-DENIED"}},
         {"FSD corvolt", {"ERR ACCESS-DENIED"}},
         {"SET VAR corvolt ups.id \"x\"", {"ERR ACCESS-DENIED"}},
         {"INSTCMD corvolt shutdown.return", {"ERR ACCESS-DENIED"}},
         {"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"OL\""}},
     }},
    {"bad input",
     [](NutUps& ups) { normalFrame(ups); },
     {
         {"", {"ERR UNKNOWN-COMMAND"}},
         {"FROB corvolt", {"ERR UNKNOWN-COMMAND"}},
         {"GET", {"ERR INVALID-ARGUMENT"}},
         {"GET VAR corvolt", {"ERR INVALID-ARGUMENT"}},
         {"GET VAR corvolt ups.status extra", {"ERR INVALID-ARGUMENT"}},
         {"GET FOO corvolt", {"ERR INVALID-ARGUMENT"}},
         {"LIST", {"ERR INVALID-ARGUMENT"}},
         {"LIST UPS corvolt", {"ERR INVALID-ARGUMENT"}},
         {"LIST ENUM corvolt", {"ERR INVALID-ARGUMENT"}},
         {"LIST BOGUS corvolt", {"ERR INVALID-ARGUMENT"}},
         {"USERNAME", {"ERR INVALID-ARGUMENT"}},
         {"LOGIN", {"ERR INVALID-ARGUMENT"}},
         {"GET VAR \"corvolt ups.status", {"ERR INVALID-ARGUMENT"}},
         {std::string("GET VAR corvolt\0ups.status", 26), {"ERR INVALID-ARGUMENT"}},
         {"\xff\xfe\x01garbage", {"ERR INVALID-ARGUMENT"}},
         {kTooLong, {"ERR INVALID-ARGUMENT"}},
         // The session goes on answering after every refusal.
         {"GET VAR corvolt ups.status", {"VAR corvolt ups.status \"OL\""}},
     }},
};

} // namespace

TEST(NutSession, AnswersEachRequestWithItsReply) {
    for (const auto& c : kCases) {
        NutUps ups(settings());
        c.prepare(ups);
        NutSession session(ups, "127.0.0.1");
        for (const auto& x : c.exchanges)
            EXPECT_EQ(session.handle(x.request).lines, x.reply) << c.name << ": " << x.request;
    }
}

TEST(NutSession, ClosesAfterLogoutAndOverlongLinesOnly) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"LOGOUT", true}, {kTooLong, true}, {"GET VAR \"x", false}, {"FROB", false}, {"VER", false},
    };
    NutUps ups(settings());
    for (const auto& [request, close] : cases) {
        NutSession session(ups, "127.0.0.1");
        EXPECT_EQ(session.handle(request).close, close) << request;
    }
}

TEST(NutSession, LoginsAreSharedAndDroppedWithTheirSession) {
    NutUps ups(settings());
    const auto logIn = [&ups](const std::string& address) {
        auto s = std::make_unique<NutSession>(ups, address);
        for (const char* line : {"USERNAME mon", "PASSWORD secret", "LOGIN corvolt"})
            EXPECT_EQ(s->handle(line).lines, Lines{"OK"}) << line;
        return s;
    };
    auto first = logIn("10.0.0.2");
    auto second = logIn("10.0.0.3");
    NutSession observer(ups, "10.0.0.4");
    EXPECT_EQ(observer.handle("GET NUMLOGINS corvolt").lines, Lines{"NUMLOGINS corvolt 2"});
    EXPECT_EQ(observer.handle("LIST CLIENT corvolt").lines,
              (Lines{"BEGIN LIST CLIENT corvolt", "CLIENT corvolt 10.0.0.2",
                     "CLIENT corvolt 10.0.0.3", "END LIST CLIENT corvolt"}));
    first.reset(); // connection closed without LOGOUT
    EXPECT_EQ(observer.handle("GET NUMLOGINS corvolt").lines, Lines{"NUMLOGINS corvolt 1"});
    EXPECT_EQ(second->handle("LOGOUT").lines, Lines{"OK Goodbye"});
    EXPECT_EQ(ups.numLogins(), 0);
}

TEST(NutSession, NoLoginWithoutConfiguredUser) {
    NutUps ups(NutSettings{});
    NutSession s(ups, "127.0.0.1");
    s.handle("USERNAME \"\"");
    s.handle("PASSWORD \"\"");
    EXPECT_EQ(s.handle("LOGIN corvolt").lines, Lines{"ERR ACCESS-DENIED"});
}

TEST(NutSession, QuotesValues) {
    EXPECT_EQ(corvolt::net::quoteValue("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
}
