// The NUT server's configuration file, and the server it starts.
#include "platform/linux/NetworkUps.h"
#include "platform/linux/NutServerConfig.h"

#include "fakes/FakePlatform.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Write(const QTemporaryDir& dir, const char* text, mode_t mode) {
    const QString path = dir.filePath(QStringLiteral("nut-server.conf"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    EXPECT_EQ(::chmod(path.toLocal8Bit().constData(), mode), 0);
    return path;
}

TEST(NutServerConfig, DefaultsAddressesAndRefusals) {
    struct Row {
        const char* name;
        const char* text;
        mode_t mode;
        const char* refusal; // nullptr: accepted
    };
    const Row rows[] = {
        {"empty file: defaults", "", 0644, nullptr},
        {"several addresses", "listen = 127.0.0.1 ::1\nport = 3494\nups = myups\n", 0644, nullptr},
        {"comma-separated addresses", "listen = 127.0.0.1, ::1\n", 0644, nullptr},
        {"login pair", "user = mon\npassword = s3cr3t\n", 0600, nullptr},
        {"login pair, group may read", "user = mon\npassword = s3cr3t\n", 0640, nullptr},
        {"writable by group", "", 0664, "writable by group or others"},
        {"writable by others", "", 0646, "writable by group or others"},
        {"password readable by others", "user = mon\npassword = s3cr3t\n", 0644,
         "readable by others while it holds a password"},
        {"unknown key", "listen = 127.0.0.1\nmaxconn = 3\n", 0644, "unknown key maxconn"},
        {"key in a section", "[server]\nport = 3493\n", 0644, "unknown key server/port"},
        {"bad address", "listen = 127.0.0.1 localhost\n", 0644, "bad value for listen"},
        {"no address", "listen =\n", 0644, "bad value for listen"},
        {"port 0", "port = 0\n", 0644, "bad value for port"},
        {"port too big", "port = 65536\n", 0644, "bad value for port"},
        {"port not a number", "port = nut\n", 0644, "bad value for port"},
        {"ups with a space", "ups = \"my ups\"\n", 0644, "bad value for ups"},
        {"user without password", "user = mon\n", 0600, "user and password go together"},
        {"password with a space", "user = mon\npassword = \"a b\"\n", 0600,
         "bad value for password"},
    };
    for (const Row& row : rows) {
        QTemporaryDir dir;
        const QString path = Write(dir, row.text, row.mode);
        const NutServerConfigResult read = ReadNutServerConfig(path, ::getuid());
        if (row.refusal) {
            EXPECT_FALSE(read.config) << row.name;
            EXPECT_EQ(read.refusal.toStdString(), path.toStdString() + ": " + row.refusal)
                << row.name;
        } else {
            ASSERT_TRUE(read.config) << row.name << ": " << read.refusal.toStdString();
        }
    }
}

TEST(NutServerConfig, ValuesAndOwner) {
    QTemporaryDir dir;
    const QString path = Write(
        dir, "listen = 127.0.0.1 ::1\nport = 3494\nups = myups\nuser = mon\npassword = pw\n", 0600);
    const NutServerConfigResult read = ReadNutServerConfig(path, ::getuid());
    ASSERT_TRUE(read.config);
    EXPECT_EQ(read.config->listen,
              (QList<QHostAddress>{QHostAddress::LocalHost, QHostAddress::LocalHostIPv6}));
    // The README's example, comments included.
    const NutServerConfigResult example = ReadNutServerConfig(
        Write(dir,
              "; a comment\nlisten = 127.0.0.1 192.168.1.10   ; LAN too\nport = 3493 ; default\n"
              "user = upsmon\npassword = choose-a-long-one\n",
              0600),
        ::getuid());
    ASSERT_TRUE(example.config) << example.refusal.toStdString();
    EXPECT_EQ(example.config->listen,
              (QList<QHostAddress>{QHostAddress::LocalHost,
                                   QHostAddress(QStringLiteral("192.168.1.10"))}));
    EXPECT_EQ(example.config->port, 3493);
    EXPECT_EQ(example.config->settings.password, "choose-a-long-one");
    EXPECT_EQ(read.config->port, 3494);
    EXPECT_EQ(read.config->settings.upsName, "myups");
    EXPECT_EQ(read.config->settings.user, "mon");
    EXPECT_EQ(read.config->settings.password, "pw");

    const NutServerConfigResult defaults = ReadNutServerConfig(Write(dir, "", 0644), ::getuid());
    ASSERT_TRUE(defaults.config);
    EXPECT_EQ(defaults.config->listen, QList<QHostAddress>{QHostAddress::LocalHost});
    EXPECT_EQ(defaults.config->port, 3493);
    EXPECT_EQ(defaults.config->settings.upsName, "corvolt");
    EXPECT_EQ(defaults.config->settings.user, "");

    EXPECT_EQ(ReadNutServerConfig(path, ::getuid() + 1).refusal, path + ": not owned by root");
    const NutServerConfigResult none = ReadNutServerConfig(dir.filePath("missing.conf"));
    EXPECT_FALSE(none.config);
    EXPECT_TRUE(none.refusal.isEmpty()) << "no file is no refusal";
}

// An address that cannot be listened on is logged; the others listen all the same.
TEST(NetworkUps, ListensOnEveryAddressThatCanBeBound) {
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, 0));
    NutServerConfig config;
    config.port = busy.serverPort();
    // 192.0.2.1 (TEST-NET-1) is on no interface here.
    config.listen = {QHostAddress::LocalHost, QHostAddress(QStringLiteral("192.0.2.1")),
                     QHostAddress::LocalHostIPv6};
    CallLog calls;
    FakeModApi system{calls};
    FakeLog log;
    NetworkUps network(config, system, log);
    ASSERT_EQ(log.warnings.size(), 2u);
    EXPECT_EQ(log.warnings[0].rfind("Corvolt: NUT server cannot listen on 127.0.0.1 port ", 0), 0u)
        << log.warnings[0];
    EXPECT_NE(log.warnings[1].find("192.0.2.1"), std::string::npos) << log.warnings[1];
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHostIPv6, config.port);
    ASSERT_TRUE(client.waitForConnected(3000));
    client.write("GET VAR corvolt ups.status\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.canReadLine(); }, 3000));
    EXPECT_EQ(client.readLine(), "ERR DATA-STALE\n");
}

} // namespace
