// The end of the program through the Qt window, and the single-instance lock between
// processes.
#include "QtForm.h"
#include "platform/linux/ProcessInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QSessionManager>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

TEST(ExitDeathTest, TheButtonTheCloseCommandAndTerminationEndTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QtForm f;
            f.instance.exitCode = 42;
            f.form.Form_Load();
            f.view.show();
            f.widget<QPushButton>("cmdFin")->click();
        },
        ::testing::ExitedWithCode(42), "");
    EXPECT_EXIT(
        {
            QtForm f;
            f.instance.exitCode = 42;
            f.form.Form_Load();
            f.view.show();
            f.view.close();
        },
        ::testing::ExitedWithCode(42), "");
    EXPECT_EXIT(
        {
            QtForm f;
            f.instance.exitCode = 42;
            f.form.Form_Load();
            f.instance.OnTerminate();
        },
        ::testing::ExitedWithCode(42), "");
}

// Child mode of this test program: take the real instance lock and report through the
// exit code, then wait to be killed if asked to hold it.
int RunLockChild() {
    ProcessInstance instance;
    instance.OnTerminate = [&instance] { instance.End(); };
    const bool previous = instance.PrevInstance();
    if (qEnvironmentVariableIsSet("CORVOLT_TEST_HOLD_LOCK") && !previous) {
        std::puts("locked");
        std::fflush(stdout);
        for (;;)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return previous ? 3 : 0;
}

QProcess* StartLockChild(const QString& runtimeDir, bool hold) {
    auto* child = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.insert(QStringLiteral("CORVOLT_TEST_LOCK_CHILD"), QStringLiteral("1"));
    if (hold)
        env.insert(QStringLiteral("CORVOLT_TEST_HOLD_LOCK"), QStringLiteral("1"));
    child->setProcessEnvironment(env);
    child->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=LockChild.*"),
                  QStringLiteral("--gtest_also_run_disabled_tests")});
    return child;
}

// Disabled: it is no test of its own, only the child started by the SingleInstance tests.
TEST(LockChild, DISABLED_Run) {
    if (!qEnvironmentVariableIsSet("CORVOLT_TEST_LOCK_CHILD"))
        GTEST_SKIP() << "runs only as the child of SingleInstance tests";
    std::_Exit(RunLockChild());
}

TEST(SingleInstance, FindsTheFirstReleasesOnTerminationAndTakesOverAStaleLock) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    std::unique_ptr<QProcess> first(StartLockChild(runtime.path(), true));
    QByteArray firstOutput;
    while (!firstOutput.contains("locked\n") && first->waitForReadyRead(10000))
        firstOutput += first->readAllStandardOutput();
    ASSERT_TRUE(firstOutput.contains("locked\n")) << firstOutput.constData();

    std::unique_ptr<QProcess> second(StartLockChild(runtime.path(), false));
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 3) << "the second process must see the first";

    // A termination request (a logout, SIGTERM) ends the instance normally, releasing
    // the lock.
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    std::unique_ptr<QProcess> afterEnd(StartLockChild(runtime.path(), false));
    ASSERT_TRUE(afterEnd->waitForFinished(10000));
    EXPECT_EQ(afterEnd->exitCode(), 0);

    // A crashed instance leaves its lock file behind: the next start takes it over.
    first.reset(StartLockChild(runtime.path(), true));
    firstOutput.clear();
    while (!firstOutput.contains("locked\n") && first->waitForReadyRead(10000))
        firstOutput += first->readAllStandardOutput();
    ASSERT_TRUE(firstOutput.contains("locked\n")) << firstOutput.constData();
    first->kill();
    ASSERT_TRUE(first->waitForFinished(10000));
    std::unique_ptr<QProcess> third(StartLockChild(runtime.path(), false));
    ASSERT_TRUE(third->waitForFinished(10000));
    EXPECT_EQ(third->exitCode(), 0) << "a stale lock must not keep the monitor from starting";
}

// A session save or a logout that may still be cancelled must leave the monitor watching;
// the application quitting ends it.
TEST(SessionEnd, OnlyTheApplicationQuittingRaisesTheTermination) {
    auto* session = qGuiApp->findChild<QSessionManager*>();
    ASSERT_NE(session, nullptr);
    const struct {
        const char* name;
        void (*raise)(QSessionManager&);
        int terminations;
    } cases[] = {
        {"commit data (checkpoint or cancellable logout)",
         [](QSessionManager& s) { emit qGuiApp->commitDataRequest(s); }, 0},
        {"save state", [](QSessionManager& s) { emit qGuiApp->saveStateRequest(s); }, 0},
        {"about to quit",
         [](QSessionManager&) { QMetaObject::invokeMethod(qGuiApp, "aboutToQuit"); }, 1},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessInstance instance({folder.filePath(QStringLiteral("corvolt.lock"))});
        int terminations = 0;
        instance.OnTerminate = [&terminations] { ++terminations; };
        c.raise(*session);
        EXPECT_EQ(terminations, c.terminations);
    }
}

TEST(SingleInstance, OnlyALiveHolderMeansAnotherInstance) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString first = dir.filePath(QStringLiteral("first.lock"));
    const QString fallback = dir.filePath(QStringLiteral("fallback.lock"));
    // No one, root included, can create a file below a regular file or in /proc.
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString missing = plain.fileName() + QStringLiteral("/corvolt.lock");
    const QString readOnly = QStringLiteral("/proc/corvolt.lock");

    enum Outcome { Free, Running, Fails };
    const struct {
        const char* name;
        QStringList paths;
        bool holdFirst;
        Outcome outcome;
        QString taken; // the lock file left behind when the lock is taken
    } cases[] = {
        {"free lock", {first, fallback}, false, Free, first},
        {"lock held by another holder", {first, fallback}, true, Running, QString()},
        {"missing folder falls back", {missing, fallback}, false, Free, fallback},
        {"read-only folder falls back", {readOnly, fallback}, false, Free, fallback},
        {"no folder can hold it", {missing, readOnly}, false, Fails, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(first);
        QFile::remove(fallback);
        QLockFile holder(first);
        if (c.holdFirst) {
            ASSERT_TRUE(holder.tryLock(0));
        }
        ProcessInstance instance(c.paths);
        switch (c.outcome) {
        case Free:
            EXPECT_FALSE(instance.PrevInstance());
            EXPECT_TRUE(QFile::exists(c.taken));
            break;
        case Running:
            EXPECT_TRUE(instance.PrevInstance());
            EXPECT_FALSE(QFile::exists(fallback)) << "a live holder must not be bypassed";
            break;
        case Fails:
            EXPECT_THROW(instance.PrevInstance(), std::runtime_error);
            break;
        }
    }
}

} // namespace
