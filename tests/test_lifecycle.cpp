// Start-up and exit of the main window, and the single-instance lock between processes.
#include "fakes/FakePlatform.h"
#include "ui/ProgressBar.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(StartUp, RunsItsStepsInOrder) {
    FakeForm f;
    f.form.Form_Load();
    const QStringList expected = {
        QStringLiteral("PrevInstance"), QStringLiteral("Settings=9600,n,8,1"),
        QStringLiteral("InputMode=1"),  QStringLiteral("RThreshold=10"),
        QStringLiteral("intray=true"),  QStringLiteral("trayicon"),
    };
    EXPECT_EQ(f.log.entries, expected);
    EXPECT_EQ(f.form.LinkMode, 0);
    EXPECT_EQ(f.form.PortNumber, 0);
    EXPECT_EQ(f.form.SweepCount, 0);
    EXPECT_FALSE(f.form.AlarmRaised);
    EXPECT_TRUE(f.form.Timer1.Enabled());
    EXPECT_EQ(f.form.Timer1.Interval(), 1000);
    EXPECT_FALSE(f.form.Timer2.Enabled());
    EXPECT_FALSE(f.form.Timer3.Enabled());
    EXPECT_FALSE(f.comm.open); // the first search tick opens COM1
    EXPECT_TRUE(f.form.Label_Shut->isHidden());
    EXPECT_TRUE(f.form.Label_Save->isHidden());
    EXPECT_EQ(f.tray.tip, QStringLiteral("Orvane Corvolt"));
    EXPECT_EQ(f.tray.icon.cacheKey(), f.form.windowIcon().cacheKey());
    EXPECT_TRUE(f.boxes.calls.empty());
}

TEST(StartUp, AFailedLoadStepLeavesTheWindowUpWithoutASearch) {
    FakeForm f;
    f.comm.failSettings = true;
    f.form.Form_Load();
    ASSERT_EQ(f.boxes.calls.size(), 1u);
    EXPECT_EQ(f.boxes.calls[0].prompt, QStringLiteral("Error al iniciar la aplicación."));
    EXPECT_EQ(f.boxes.calls[0].style, vb::OKOnly);
    EXPECT_TRUE(f.boxes.calls[0].title.isEmpty());
    EXPECT_FALSE(f.form.Timer1.Enabled());
    EXPECT_EQ(f.comm.rThreshold, 0); // the steps after the failing one are skipped
    EXPECT_EQ(f.form.ProgressBar1->Max(), 100.0f);
    EXPECT_TRUE(f.form.Label_Save->isHidden());
    EXPECT_TRUE(f.tray.inTray);
    EXPECT_EQ(f.instance.ended, 0);
}

TEST(StartUp, ASecondInstanceSaysSoAndEndsWithoutTouchingThePort) {
    FakeForm f;
    f.instance.running = true;
    EXPECT_THROW(f.form.Form_Load(), ProcessEnded);
    ASSERT_EQ(f.boxes.calls.size(), 1u);
    EXPECT_EQ(f.boxes.calls[0].prompt, QStringLiteral("Corvolt ya esta en ejecución"));
    EXPECT_EQ(f.boxes.calls[0].style, vb::OKOnly);
    EXPECT_TRUE(f.boxes.calls[0].title.isEmpty());
    EXPECT_EQ(f.log.entries, (QStringList{QStringLiteral("PrevInstance"),
                                          QStringLiteral("MsgBox:Corvolt ya esta en ejecución"),
                                          QStringLiteral("intray=false"), QStringLiteral("End")}));
    EXPECT_FALSE(f.form.Timer1.Enabled());
}

TEST(Exit, EmptiesAndClosesAnOpenPortThenEnds) {
    FakeForm f;
    f.start();
    f.form.Timer1_Timer();
    ASSERT_TRUE(f.comm.open);
    f.comm.buffer = "unread";
    f.log.entries.clear();
    EXPECT_THROW(f.form.cmdFin_Click(), ProcessEnded);
    EXPECT_EQ(f.log.entries,
              (QStringList{QStringLiteral("InBufferCount=0"), QStringLiteral("PortOpen=false"),
                           QStringLiteral("intray=false"), QStringLiteral("End")}));
    EXPECT_FALSE(f.comm.open);
}

TEST(Exit, LeavesAClosedPortAlone) {
    FakeForm f;
    f.start();
    EXPECT_THROW(f.form.Form_Terminate(), ProcessEnded);
    EXPECT_EQ(f.log.entries, (QStringList{QStringLiteral("intray=false"), QStringLiteral("End")}));
}

TEST(ExitDeathTest, TheButtonTheCloseCommandAndTerminationEndTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FakeForm f;
            f.instance.exitCode = 42;
            f.form.Form_Load();
            f.form.show();
            f.form.cmdFin->click();
        },
        ::testing::ExitedWithCode(42), "");
    EXPECT_EXIT(
        {
            FakeForm f;
            f.instance.exitCode = 42;
            f.form.Form_Load();
            f.form.show();
            f.form.close();
        },
        ::testing::ExitedWithCode(42), "");
    EXPECT_EXIT(
        {
            FakeForm f;
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
