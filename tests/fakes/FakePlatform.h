#pragma once
// Fakes of the platform services, so that the main window's handlers can be driven and
// inspected without a serial port, a desktop or an operating system behind them.

#include "link/CommControl.h"
#include "power/ModApi.h"
#include "readings/SystemInfo.h"
#include "ui/AppInstance.h"
#include "ui/MessageBoxes.h"
#include "ui/SysTray.h"
#include "ui/frmMain.h"

#include <QStringList>

#include <deque>
#include <map>
#include <cstdlib>
#include <memory>
#include <optional>

// Thrown by FakeInstance::EndProcess: the process would have ended here.
struct ProcessEnded {};

// Every call is appended to one shared log, so tests can check the order across fakes.
class CallLog {
public:
    void add(const QString& entry) { entries.append(entry); }
    QStringList entries;
};

class FakeComm final : public CommControl {
public:
    explicit FakeComm(CallLog& log) : m_log(log) {}

    void setSettings(const QString& settings) override {
        m_log.add(QStringLiteral("Settings=") + settings);
        if (failSettings)
            throw CommError(comm::ErrInvalidValue, "settings refused");
        this->settings = settings;
    }
    void setInputMode(int mode) override {
        m_log.add(QStringLiteral("InputMode=%1").arg(mode));
        inputMode = mode;
    }
    void setRThreshold(int bytes) override {
        m_log.add(QStringLiteral("RThreshold=%1").arg(bytes));
        rThreshold = bytes;
    }
    void setCommPort(int number) override {
        m_log.add(QStringLiteral("CommPort=%1").arg(number));
        if (open)
            ++commPortWrittenWhileOpen;
        port = number;
    }
    int CommPort() const override { return port; }
    bool PortOpen() const override { return open; }
    void setPortOpen(bool value) override {
        m_log.add(QStringLiteral("PortOpen=%1").arg(value ? "true" : "false"));
        if (value) {
            const auto error = openErrors.find(port);
            if (error != openErrors.end())
                throw CommError(error->second, "open failed");
        }
        open = value;
        if (!value)
            buffer.clear();
    }
    QByteArray Input() override {
        m_log.add(QStringLiteral("Input"));
        QByteArray all;
        all.swap(buffer);
        return all;
    }
    void setInBufferCount(int count) override {
        m_log.add(QStringLiteral("InBufferCount=%1").arg(count));
        if (count == 0)
            buffer.clear();
    }
    int CommEvent() const override { return event; }

    // Raises a receive event with these bytes buffered.
    void receive(const QByteArray& bytes) {
        buffer += bytes;
        raise(comm::EvReceive);
    }
    void raise(int commEvent) {
        event = commEvent;
        OnComm();
    }

    QString settings;
    int inputMode = 0;
    int rThreshold = 0;
    int port = 1;
    bool open = false;
    bool failSettings = false;
    int event = 0;
    int commPortWrittenWhileOpen = 0;
    QByteArray buffer;
    std::map<int, int> openErrors; // port number → error raised when opening it

private:
    CallLog& m_log;
};

struct BoxCall {
    QString prompt;
    int style;
    QString title;
};

class FakeBoxes final : public MessageBoxes {
public:
    explicit FakeBoxes(CallLog& log) : m_log(log) {}
    int MsgBox(const QString& prompt, int style, const QString& title) override {
        m_log.add(QStringLiteral("MsgBox:") + prompt);
        calls.push_back({prompt, style, title});
        // Events delivered while the box is open.
        if (whileOpen)
            whileOpen();
        if (answers.empty())
            return vb::OK;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<BoxCall> calls;
    std::deque<int> answers;
    std::function<void()> whileOpen;

private:
    CallLog& m_log;
};

class FakeTray final : public SysTrayControl {
public:
    explicit FakeTray(CallLog& log) : m_log(log) {}
    bool intray() const override { return inTray; }
    void setIntray(bool value) override {
        m_log.add(QStringLiteral("intray=%1").arg(value ? "true" : "false"));
        inTray = value;
    }
    void setTrayicon(const QIcon& value) override {
        m_log.add(QStringLiteral("trayicon"));
        icon = value;
    }
    QString traytip() const override { return tip; }
    void setTraytip(const QString& value) override { tip = value; }
    bool available() const override { return hasTray; }

    bool inTray = false;
    bool hasTray = true;
    QIcon icon;
    QString tip;

private:
    CallLog& m_log;
};

class FakeModApi final : public ModApi {
public:
    explicit FakeModApi(CallLog& log) : m_log(log) {}
    void BringToFront(QWidget&) override {
        m_log.add(QStringLiteral("BringToFront"));
        ++broughtToFront;
    }
    bool ShutdownWindows() override {
        m_log.add(QStringLiteral("ShutdownWindows"));
        ++shutdownRequests;
        return acceptShutdown;
    }
    int broughtToFront = 0;
    int shutdownRequests = 0;
    bool acceptShutdown = false;

private:
    CallLog& m_log;
};

class FakeTicks final : public TickCounter {
public:
    std::uint32_t GetTickCount() override { return ticks; }
    std::uint32_t ticks = 0;
};

class FakeLocale final : public NumberLocale {
public:
    QString decimalSeparator() const override { return separator; }
    QString separator = QStringLiteral(".");
};

class FakeInstance final : public AppInstance {
public:
    explicit FakeInstance(CallLog& log) : m_log(log) {}
    bool PrevInstance() override {
        m_log.add(QStringLiteral("PrevInstance"));
        return running;
    }
    bool running = false;
    int ended = 0;
    // Where the end passes through Qt's own event handling no exception may unwind it:
    // there the process really ends, with this code (in a death test's child).
    std::optional<int> exitCode;

protected:
    [[noreturn]] void EndProcess() override {
        m_log.add(QStringLiteral("End"));
        ++ended;
        if (exitCode)
            std::_Exit(*exitCode);
        throw ProcessEnded();
    }

private:
    CallLog& m_log;
};

// A main window on fakes. Form_Load is left to the test.
struct FakeForm {
    CallLog log;
    FakeComm comm{log};
    FakeBoxes boxes{log};
    FakeTray tray{log};
    FakeModApi api{log};
    FakeTicks ticks;
    FakeLocale locale;
    FakeInstance instance{log};
    frmMain form{Platform{comm, boxes, tray, api, ticks, locale, instance}};

    // Started and shown, as the program does it.
    void start() {
        form.Form_Load();
        form.show();
        log.entries.clear();
    }
    // Started, then linked through a handshake block.
    void link() {
        start();
        form.Timer1_Timer(); // opens COM1
        comm.receive(QByteArray("&&&\x2E\xC4\xD4\x41\x5C\x30\x30", 10));
        log.entries.clear();
    }
};
