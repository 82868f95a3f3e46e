// The end of the program through the Qt window, and the single-instance lock between
// processes.
#include "QtForm.h"
#include "platform/linux/ProcessInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

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
                 {QStringLiteral("--gtest_filter=LockChild.*")});
    return child;
}

TEST(LockChild, Run) {
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

} // namespace
