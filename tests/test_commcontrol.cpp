#include "fakes/CommErrors.h"
#include "platform/linux/PortLocks.h"
#include "platform/qt/QtCommControl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

constexpr int WaitMs = 3000;
constexpr uid_t Nobody = 65534;

// Polls a condition without running the event loop, so that the control reads nothing.
template <typename Predicate> bool PollUntil(Predicate done) {
    const QDeadlineTimer deadline(WaitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        usleep(1000);
    }
    return true;
}

QByteArray ToQByteArray(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

QByteArray Pattern(int size, int seed = 0) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) % 256);
    return bytes;
}

// A raw pseudo-terminal: the control opens the slave side, the test plays the UPS on the
// master side. The test's own slave descriptor reads the line's termios and queue length.
class Pty {
public:
    Pty() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            return;
        termios tio{};
        tcgetattr(slave_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
        path_ = QString::fromLocal8Bit(name);
    }
    ~Pty() {
        closeMaster();
        if (slave_ >= 0)
            ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }
    int slave() const { return slave_; }
    bool write(const QByteArray& bytes) const {
        return ::write(master_, bytes.constData(), bytes.size()) == bytes.size();
    }
    // Bytes that the kernel holds for the slave side, not yet read by anybody.
    int pending() const {
        int count = 0;
        ioctl(slave_, FIONREAD, &count);
        return count;
    }
    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// A forked process that runs a body, reports its int result through a pipe and then waits
// until the parent lets it go; it ends with _exit, so whatever it opened stays as it left it.
class Child {
public:
    explicit Child(const std::function<int()>& body) {
        if (pipe(report_) != 0 || pipe(hold_) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            ::close(report_[0]);
            ::close(hold_[1]);
            const int result = body();
            char release = 0;
            if (::write(report_[1], &result, sizeof result) == sizeof result)
                (void)!::read(hold_[0], &release, 1);
            _exit(0);
        }
        ::close(report_[1]);
        ::close(hold_[0]);
    }
    ~Child() { release(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The body's result; empty if the child died or did not answer in time.
    std::optional<int> result() {
        pollfd wait{report_[0], POLLIN, 0};
        int value = 0;
        if (pid_ > 0 && poll(&wait, 1, WaitMs) == 1 &&
            ::read(report_[0], &value, sizeof value) == sizeof value)
            return value;
        return std::nullopt;
    }
    // Lets the child end and reaps it.
    void release() {
        if (pid_ <= 0)
            return;
        ::close(hold_[1]);
        ::close(report_[0]);
        const QDeadlineTimer deadline(WaitMs);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (deadline.hasExpired()) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            usleep(1000);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int report_[2] = {-1, -1};
    int hold_[2] = {-1, -1};
};

// Opens the device with a fresh control and returns the error number, 0 when it opened.
int TryOpen(const QString& device) {
    QtCommControl comm([device](int) { return device; });
    try {
        comm.setPortOpen(true);
        return 0;
    } catch (const CommError& error) {
        return error.Number;
    }
}

constexpr int CannotDropPrivileges = -1;

// The same, in a process that runs as an ordinary user even when the tests run as root.
int TryOpenUnprivileged(const QString& device) {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0))
        return CannotDropPrivileges;
    return TryOpen(device);
}

class CommOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << "openpty: " << std::strerror(errno);
        comm.OnComm = [this] {
            ++events;
            EXPECT_EQ(comm.CommEvent(), comm::EvReceive);
            if (reading)
                blocks.push_back(ToQByteArray(comm.Input()));
        };
    }

    // The start-up configuration of the monitor, on COM1.
    void open() {
        comm.setSettings("9600,n,8,1");
        comm.setInputMode(comm::InputModeBinary);
        comm.setRThreshold(10);
        comm.setCommPort(1);
        comm.setPortOpen(true);
    }

    // Writes bytes to the line and runs the event loop until the control has read them all.
    bool deliver(const QByteArray& bytes) {
        const int before = pty.pending();
        return pty.write(bytes) &&
               PollUntil([&] { return pty.pending() >= before + bytes.size(); }) &&
               QTest::qWaitFor([&] { return pty.pending() == 0; }, WaitMs);
    }

    QByteArray received() const { return blocks.join(); }

    Pty pty;
    // COM1 is the pseudo-terminal; every other port number names a missing device.
    QtCommControl comm{[this](int number) {
        return number == 1 ? pty.path() : QStringLiteral("/nonexistent/ttyQ%1").arg(number);
    }};
    int events = 0;
    bool reading = true; // the handler takes the bytes, as the receive dispatch does
    QByteArrayList blocks;
};

TEST_F(CommOverPty, ReceiveEventComesAtTheThresholdWithAllBufferedBytes) {
    open();
    const QByteArray frame = Pattern(10);
    ASSERT_TRUE(deliver(frame.left(9)));
    EXPECT_EQ(events, 0) << "nine bytes are below the threshold";

    ASSERT_TRUE(deliver(frame.right(1)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events == 1; }, WaitMs));
    EXPECT_EQ(blocks, QByteArrayList{frame});

    const QByteArray block = Pattern(25, 3);
    ASSERT_TRUE(deliver(block)); // one write
    EXPECT_EQ(events, 2);
    EXPECT_EQ(blocks.value(1), block);
    EXPECT_TRUE(comm.Input().empty());
}

TEST_F(CommOverPty, BytesLeftByTheHandlerComeAgainWithTheNextOnes) {
    open();
    reading = false;
    ASSERT_TRUE(deliver(Pattern(10)));
    EXPECT_EQ(events, 1);
    ASSERT_TRUE(deliver(Pattern(5, 10)));
    EXPECT_EQ(events, 2);
    EXPECT_EQ(ToQByteArray(comm.Input()), Pattern(10) + Pattern(5, 10));
}

TEST_F(CommOverPty, ZeroThresholdRaisesNoEvent) {
    open();
    comm.setRThreshold(0);
    ASSERT_TRUE(deliver(Pattern(20)));
    EXPECT_EQ(events, 0);
    EXPECT_EQ(ToQByteArray(comm.Input()), Pattern(20));
}

TEST_F(CommOverPty, ThresholdAboveTheBufferSizeIsReachable) {
    open();
    comm.setRThreshold(1500);
    ASSERT_TRUE(deliver(Pattern(1499)));
    EXPECT_EQ(events, 0);
    ASSERT_TRUE(deliver(Pattern(1, 5)));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(received(), Pattern(1499) + Pattern(1, 5));
}

TEST_F(CommOverPty, BurstLargerThanTheBufferArrivesWholeInBoundedBlocks) {
    open();
    const QByteArray burst = Pattern(3000);
    ASSERT_TRUE(pty.write(burst));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received().size() >= burst.size(); }, WaitMs))
        << received().size() << " bytes arrived";
    EXPECT_EQ(received(), burst);
    EXPECT_GE(blocks.size(), 3);
    for (const QByteArray& block : std::as_const(blocks))
        EXPECT_LE(block.size(), QtCommControl::InBufferSize);
}

TEST_F(CommOverPty, BurstThatNobodyReadsWaitsAndResumesOnceRead) {
    open();
    reading = false;
    const QByteArray burst = Pattern(3000);
    ASSERT_TRUE(pty.write(burst));
    // The control stops reading at a full buffer; the rest waits in the driver.
    const int rest = burst.size() - QtCommControl::InBufferSize;
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.pending() == rest; }, WaitMs)) << pty.pending();
    QTest::qWait(20);
    EXPECT_EQ(pty.pending(), rest);

    reading = true;
    blocks.push_back(ToQByteArray(comm.Input()));
    EXPECT_EQ(blocks.front().size(), QtCommControl::InBufferSize);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received().size() >= burst.size(); }, WaitMs))
        << received().size() << " bytes arrived";
    EXPECT_EQ(received(), burst);
}

TEST_F(CommOverPty, InBufferCountZeroDiscardsEveryBufferedByte) {
    open();
    ASSERT_TRUE(deliver("abc")); // read into the control's buffer
    ASSERT_TRUE(pty.write("defg"));
    ASSERT_TRUE(PollUntil([&] { return pty.pending() == 4; })); // still in the driver
    comm.setInBufferCount(0);
    EXPECT_TRUE(comm.Input().empty());
    EXPECT_EQ(pty.pending(), 0);

    ASSERT_TRUE(deliver(Pattern(10)));
    EXPECT_EQ(blocks, QByteArrayList{Pattern(10)});

    // A full buffer that is discarded, not read, must not leave the control deaf.
    reading = false;
    ASSERT_TRUE(pty.write(Pattern(3000)));
    const int rest = 3000 - QtCommControl::InBufferSize;
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.pending() == rest; }, WaitMs)) << pty.pending();
    QTest::qWait(20); // Qt pauses reading on the next notification after the buffer filled
    comm.setInBufferCount(0);
    reading = true;
    blocks.clear();
    ASSERT_TRUE(deliver(Pattern(10, 1)));
    EXPECT_EQ(blocks, QByteArrayList{Pattern(10, 1)});
}

TEST_F(CommOverPty, SettingsApplyAtOpeningAndWhileOpen) {
    // A pseudo-terminal forces 8 data bits without parity; the speed, the stop bits, the
    // choice of odd parity and the flow control are what it keeps.
    comm.setSettings("4800,O,7,2");
    comm.setPortOpen(true);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slave(), &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_TRUE(tio.c_cflag & PARODD);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));

    comm.setSettings("19200,e,8,1");
    ASSERT_EQ(tcgetattr(pty.slave(), &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
}

TEST_F(CommOverPty, PortNumberIsFixedWhileOpenAndThePortReopens) {
    open(); // succeeds although a pseudo-terminal refuses DTR and RTS
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(ErrorNumberOf([&] { comm.setCommPort(2); }), comm::ErrPortOpen);
    EXPECT_EQ(comm.CommPort(), 1);
    EXPECT_EQ(ErrorNumberOf([&] { comm.setPortOpen(true); }), comm::ErrPortOpen);
    EXPECT_TRUE(comm.PortOpen());

    comm.setPortOpen(false);
    EXPECT_FALSE(comm.PortOpen());
    comm.setPortOpen(false); // closing a closed port does nothing
    comm.setInBufferCount(0);
    EXPECT_TRUE(comm.Input().empty());

    comm.setCommPort(2);
    EXPECT_EQ(ErrorNumberOf([&] { comm.setPortOpen(true); }), comm::ErrNoSuchPort);
    EXPECT_FALSE(comm.PortOpen());
    comm.setCommPort(1);
    comm.setPortOpen(true);
    ASSERT_TRUE(deliver(Pattern(10)));
    EXPECT_EQ(blocks, QByteArrayList{Pattern(10)});
}

TEST_F(CommOverPty, HangUpClosesThePortOnceWithoutSpinning) {
    static int warnings;
    warnings = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            warnings += type == QtWarningMsg;
        });
    open();
    ASSERT_TRUE(deliver(Pattern(10)));
    pty.closeMaster();
    const bool closed = QTest::qWaitFor([&] { return !comm.PortOpen(); }, WaitMs);
    QTest::qWait(50);
    qInstallMessageHandler(previous);

    EXPECT_TRUE(closed);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(events, 1);
    comm.setInBufferCount(0);
    comm.setPortOpen(false);
    EXPECT_TRUE(comm.Input().empty());
}

TEST_F(CommOverPty, PortHeldByAnotherControlIsInUse) {
    open();
    EXPECT_EQ(TryOpen(pty.path()), comm::ErrPortInUse);
    comm.setPortOpen(false);
    EXPECT_EQ(TryOpen(pty.path()), 0);
}

TEST_F(CommOverPty, PortHeldByAnotherProcessIsInUseUntilItDies) {
    const QString device = pty.path();
    Child holder([device] {
        auto* held = new QtCommControl([device](int) { return device; });
        held->setPortOpen(true); // left open: the process ends without closing it
        return 0;
    });
    ASSERT_EQ(holder.result(), 0);
    EXPECT_EQ(ErrorNumberOf([&] { open(); }), comm::ErrPortInUse);
    holder.release();
    // The holder's exclusive mode would end with its last descriptor on a real port; here
    // the test's own slave descriptor keeps the pty and that mode alive, and only root may
    // open a tty in exclusive mode, so the test ends that mode itself.
    ASSERT_EQ(ioctl(pty.slave(), TIOCNXCL), 0);
    open(); // the dead holder's lock is stale
    EXPECT_TRUE(comm.PortOpen());
}

TEST_F(CommOverPty, LiveLockFileIsInUseAndKeptHowEverOld) {
    // A Qt-style lock of a live process (the test runner's parent), a minute old: Qt alone
    // would take it for stale after 30 s and remove it.
    QTemporaryDir locks;
    ASSERT_TRUE(locks.isValid());
    const QString device = pty.path();
    const std::string lockFile = locks.filePath("LCK.." + device.section(u'/', -1)).toStdString();
    const std::string content = std::to_string(getppid()) + "\nminicom\nhost\n";
    std::ofstream(lockFile) << content;
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    std::filesystem::last_write_time(lockFile, old);

    QtCommControl locked([device](int) { return device; },
                         [&locks](const QString& node) {
                             return CheckPortLock(locks.path().toStdString(), node.toStdString()) !=
                                    0;
                         });
    EXPECT_EQ(ErrorNumberOf([&] { locked.setPortOpen(true); }), comm::ErrPortInUse);
    EXPECT_FALSE(locked.PortOpen());
    std::ifstream kept(lockFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), content);
    EXPECT_EQ(std::filesystem::last_write_time(lockFile), old);

    std::filesystem::remove(lockFile); // the holder ended and removed its lock
    locked.setPortOpen(true);
    EXPECT_TRUE(locked.PortOpen());
}

TEST_F(CommOverPty, UnreadableNodeIsPermissionDeniedAndExclusiveHolderIsInUse) {
    const QByteArray device = pty.path().toLocal8Bit();
    ASSERT_EQ(chmod(device.constData(), 0), 0);
    std::optional<int> denied = Child([&] { return TryOpenUnprivileged(pty.path()); }).result();
    if (denied == CannotDropPrivileges)
        GTEST_SKIP() << "cannot run as user " << Nobody << " to be refused a device";
    EXPECT_EQ(denied, comm::ErrPermissionDenied);

    // Another program has the line open in exclusive mode: open(2) answers EBUSY.
    ASSERT_EQ(chmod(device.constData(), 0666), 0);
    ASSERT_EQ(ioctl(pty.slave(), TIOCEXCL), 0);
    EXPECT_EQ(Child([&] { return TryOpenUnprivileged(pty.path()); }).result(), comm::ErrPortInUse);
    ioctl(pty.slave(), TIOCNXCL);
}

TEST(QtCommControlOpen, DevicesThatAreNotSerialPortsFail) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("file");
    QFile regular(file);
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
    regular.close();

    const struct {
        QString device;
        int number;
    } rows[] = {
        {dir.filePath("missing"), comm::ErrNoSuchPort},
        {QString(), comm::ErrNoSuchPort}, // a COM number with no port behind it
        {file, comm::ErrOpenFailed},
        {dir.path(), comm::ErrOpenFailed},
        {"/dev/null", comm::ErrOpenFailed},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TryOpen(row.device), row.number) << row.device.toStdString();
}

TEST(QtCommControlOpen, ASerialNodeWithoutHardwareDoesNotExist) {
    // ttyS63 (major 4, minor 127): the serial driver answers ENXIO, or EIO where the
    // kernel made that many ports, as for any legacy port without a UART behind it.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString node = dir.filePath("ttyS63");
    if (mknod(node.toLocal8Bit().constData(), S_IFCHR | 0600, makedev(4, 127)) != 0)
        GTEST_SKIP() << "cannot make a device node here (needs root)";
    EXPECT_EQ(TryOpen(node), comm::ErrNoSuchPort);
}

TEST(QtCommControlSettings, ParsesEveryFieldAndRejectsMalformedText) {
    const struct {
        const char* text;
        std::optional<LineSettings> parsed;
    } rows[] = {
        {"9600,n,8,1",
         LineSettings{9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop}},
        {"19200,E,7,2",
         LineSettings{19200, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop}},
        {"300,o,5,1.5", LineSettings{300, QSerialPort::OddParity, QSerialPort::Data5,
                                     QSerialPort::OneAndHalfStop}},
        {"115200,M,6,1",
         LineSettings{115200, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop}},
        {" 1200 , s , 8 , 2 ",
         LineSettings{1200, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::TwoStop}},
        {"", std::nullopt},
        {"9600", std::nullopt},
        {"9600,n,8", std::nullopt},
        {"9600,n,8,1,1", std::nullopt},
        {"9600;n;8;1", std::nullopt},
        {"baud,n,8,1", std::nullopt},
        {"0,n,8,1", std::nullopt},
        {"-9600,n,8,1", std::nullopt},
        {"+9600,n,8,1", std::nullopt},
        {"96.00,n,8,1", std::nullopt},
        {"99999999999,n,8,1", std::nullopt},
        {"9600,x,8,1", std::nullopt},
        {"9600,,8,1", std::nullopt},
        {"9600,no,8,1", std::nullopt},
        {"9600,n,4,1", std::nullopt},
        {"9600,n,9,1", std::nullopt},
        {"9600,n,08x,1", std::nullopt},
        {"9600,n,8,0", std::nullopt},
        {"9600,n,8,3", std::nullopt},
        {"9600,n,8,1.0", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = ParseLineSettings(row.text);
        ASSERT_EQ(parsed.has_value(), row.parsed.has_value());
        if (parsed) {
            EXPECT_EQ(parsed->BaudRate, row.parsed->BaudRate);
            EXPECT_EQ(parsed->Parity, row.parsed->Parity);
            EXPECT_EQ(parsed->DataBits, row.parsed->DataBits);
            EXPECT_EQ(parsed->StopBits, row.parsed->StopBits);
        }
        QtCommControl comm;
        EXPECT_EQ(ErrorNumberOf([&] { comm.setSettings(row.text); }),
                  row.parsed ? 0 : comm::ErrInvalidValue);
    }
}

TEST(QtCommControlSettings, OutOfRangeValuesAreInvalid) {
    QtCommControl comm;
    const std::function<void()> invalid[] = {
        [&] { comm.setInputMode(2); },
        [&] { comm.setInputMode(-1); },
        [&] { comm.setRThreshold(-1); },
        [&] { comm.setCommPort(0); },
        [&] { comm.setCommPort(comm::MaxCommPort + 1); },
        [&] { comm.setInBufferCount(5); },
    };
    for (const auto& action : invalid)
        EXPECT_EQ(ErrorNumberOf(action), comm::ErrInvalidValue);
    EXPECT_EQ(comm.CommPort(), 1);
    EXPECT_FALSE(comm.PortOpen());
}

} // namespace
