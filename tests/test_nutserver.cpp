#include "platform/qt/NutServer.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr int WaitMs = 3000;

struct Fixture {
    corvolt::net::NutUps ups{corvolt::net::NutSettings{}};
    NutServer server{ups};
    Fixture() {
        ups.updateStatus('0', '0');
        ups.updateReadings("120.", "60.", 100);
        QString error;
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    }
    std::unique_ptr<QTcpSocket> connectClient() {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QHostAddress::LocalHost, server.port());
        EXPECT_TRUE(s->waitForConnected(WaitMs));
        return s;
    }
};

// Reads until count lines have arrived or the wait ends.
QList<QByteArray> readLines(QTcpSocket& s, int count) {
    QByteArray got;
    const bool complete = QTest::qWaitFor(
        [&] {
            got += s.readAll();
            return got.count('\n') >= count;
        },
        WaitMs);
    EXPECT_TRUE(complete) << got.toStdString();
    QList<QByteArray> lines = got.split('\n');
    lines.removeLast();
    return lines;
}

bool closedByServer(QTcpSocket& s) {
    return QTest::qWaitFor([&] { return s.state() == QAbstractSocket::UnconnectedState; }, WaitMs);
}

} // namespace

TEST(NutServer, AnswersRequestsInOrderAndClosesOnLogout) {
    Fixture f;
    auto c = f.connectClient();
    c->write("GET VAR corvolt input.voltage\r\nVER\nLIST UPS\nLOG");
    EXPECT_EQ(readLines(*c, 5),
              (QList<QByteArray>{"VAR corvolt input.voltage \"120\"",
                                 "Corvolt 2.00.0001 NUT network server", "BEGIN LIST UPS",
                                 "UPS corvolt \"Orvane Corvolt\"", "END LIST UPS"}));
    c->write("OUT\nVER\n");
    EXPECT_EQ(readLines(*c, 1), QList<QByteArray>{"OK Goodbye"});
    EXPECT_TRUE(closedByServer(*c));
    EXPECT_TRUE(c->readAll().isEmpty()); // nothing after LOGOUT
}

TEST(NutServer, DropsFloodsAndNotOthers) {
    struct Case {
        QByteArray bytes;
        QList<QByteArray> reply;
        bool dropped;
    };
    const std::vector<Case> cases = {
        {QByteArray(513, 'A'), {"ERR INVALID-ARGUMENT"}, true}, // no line feed in sight
        {QByteArray(512, 'A') + "\r\r", {"ERR INVALID-ARGUMENT"}, true},
        {QByteArray(512, 'A') + "\r", {}, false},                 // longest line, LF pending
        {"GET VAR \"corvolt\n", {"ERR INVALID-ARGUMENT"}, false}, // refused, kept
        {QByteArray("\x00\xff\n", 3), {"ERR INVALID-ARGUMENT"}, false},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto s = f.connectClient();
        s->write(c.bytes);
        if (!c.reply.isEmpty()) {
            EXPECT_EQ(readLines(*s, int(c.reply.size())), c.reply)
                << c.bytes.left(20).toStdString();
        }
        if (c.dropped) {
            EXPECT_TRUE(closedByServer(*s));
            continue;
        }
        s->write("\nNETVER\n");
        const auto lines = readLines(*s, c.reply.isEmpty() ? 2 : 1);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.last(), "1.3") << c.bytes.left(20).toStdString();
    }
}

TEST(NutServer, LimitsClientsAndArmsTheIdleDrop) {
    Fixture f;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < NutServer::kMaxClients; ++i)
        clients.push_back(f.connectClient());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return f.server.clientCount() == NutServer::kMaxClients; }, WaitMs));
    auto extra = f.connectClient();
    EXPECT_TRUE(closedByServer(*extra));
    EXPECT_EQ(f.server.clientCount(), NutServer::kMaxClients);

    const auto timers = f.server.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), NutServer::kMaxClients);
    for (const QTimer* t : timers) {
        EXPECT_TRUE(t->isActive());
        EXPECT_TRUE(t->isSingleShot());
        EXPECT_EQ(t->intervalAsDuration(), NutServer::kIdleTimeout);
    }

    // A freed place is taken by the next client.
    clients.front()->disconnectFromHost();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return f.server.clientCount() == NutServer::kMaxClients - 1; }, WaitMs));
    auto next = f.connectClient();
    next->write("NETVER\n");
    EXPECT_EQ(readLines(*next, 1), QList<QByteArray>{"1.3"});
}

TEST(NutServer, DropsAClientThatLeavesRepliesUnread) {
    Fixture f;
    auto greedy = f.connectClient();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.server.clientCount() == 1; }, WaitMs));
    QByteArray burst;
    for (int i = 0; i < 4000; ++i)
        burst += "LIST VAR corvolt\n";
    bool dropped = false;
    for (int round = 0; round < 100 && !dropped; ++round) {
        greedy->write(burst);
        dropped = QTest::qWaitFor([&] { return f.server.clientCount() == 0; }, 50);
    }
    EXPECT_TRUE(dropped);
    // Others are served on.
    auto polite = f.connectClient();
    polite->write("NETVER\n");
    EXPECT_EQ(readLines(*polite, 1), QList<QByteArray>{"1.3"});
}
