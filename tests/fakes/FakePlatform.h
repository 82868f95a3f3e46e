#pragma once
// Fakes of the window's controls and of the platform services, so that the monitor's
// handlers can be driven and inspected without a serial port, a desktop or an operating
// system behind them. Free of Qt: the core's tests and the Qt view's tests share them.

#include "link/StatusFrame.h"
#include "platform/AppInstance.h"
#include "platform/CommControl.h"
#include "platform/Controls.h"
#include "platform/Log.h"
#include "platform/MessageBoxes.h"
#include "platform/ModApi.h"
#include "platform/MonitorEvents.h"
#include "platform/SysTray.h"
#include "platform/SystemInfo.h"
#include "platform/Timer.h"
#include "ui/Layout.h"
#include "ui/MonitorForm.h"

#include "fakes/Frames.h"

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Thrown by FakeInstance::EndProcess: the process would have ended here.
struct ProcessEnded {};

// Every call is appended to one shared log, so tests can check the order across fakes.
class CallLog {
public:
    void add(const std::string& entry) { entries.push_back(entry); }
    std::vector<std::string> entries;
};

class FakeComm final : public CommControl {
public:
    explicit FakeComm(CallLog& log) : m_log(log) {}

    void setSettings(const std::string& value) override {
        m_log.add("Settings=" + value);
        if (failSettings)
            throw CommError(comm::ErrInvalidValue, "settings refused");
        settings = value;
    }
    void setInputMode(int mode) override {
        m_log.add("InputMode=" + std::to_string(mode));
        inputMode = mode;
    }
    void setRThreshold(int bytes) override {
        m_log.add("RThreshold=" + std::to_string(bytes));
        rThreshold = bytes;
    }
    void setCommPort(int number) override {
        m_log.add("CommPort=" + std::to_string(number));
        if (open)
            ++commPortWrittenWhileOpen;
        port = number;
    }
    int CommPort() const override { return port; }
    bool PortOpen() const override { return open; }
    void setPortOpen(bool value) override {
        m_log.add(value ? "PortOpen=true" : "PortOpen=false");
        if (value) {
            const auto error = openErrors.find(port);
            if (error != openErrors.end())
                throw CommError(error->second, "open failed");
        }
        open = value;
        if (!value)
            buffer.clear();
    }
    Bytes Input() override {
        m_log.add("Input");
        Bytes all;
        all.swap(buffer);
        return all;
    }
    void setInBufferCount(int count) override {
        m_log.add("InBufferCount=" + std::to_string(count));
        if (count == 0)
            buffer.clear();
    }
    int CommEvent() const override { return event; }

    // Raises a receive event with these bytes buffered.
    void receive(const Bytes& bytes) {
        buffer.insert(buffer.end(), bytes.begin(), bytes.end());
        raise(comm::EvReceive);
    }
    void raise(int commEvent) {
        event = commEvent;
        OnComm();
    }

    std::string settings;
    int inputMode = 0;
    int rThreshold = 0;
    int port = 1;
    bool open = false;
    bool failSettings = false;
    int event = 0;
    int commPortWrittenWhileOpen = 0;
    Bytes buffer;
    std::map<int, int> openErrors; // port number → error raised when opening it

private:
    CallLog& m_log;
};

struct BoxCall {
    std::string prompt;
    int style;
    std::string title;
};

class FakeBoxes final : public MessageBoxes {
public:
    explicit FakeBoxes(CallLog& log) : m_log(log) {}
    int MsgBox(const std::string& prompt, int style, const std::string& title) override {
        m_log.add("MsgBox:" + prompt);
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
        m_log.add(value ? "intray=true" : "intray=false");
        inTray = value;
    }
    void setTrayicon(const Picture& value) override {
        m_log.add("trayicon");
        icon = &value;
    }
    std::string traytip() const override { return tip; }
    void setTraytip(const std::string& value) override { tip = value; }
    bool available() const override { return hasTray; }

    bool inTray = false;
    bool hasTray = true;
    const Picture* icon = nullptr;
    std::string tip;

private:
    CallLog& m_log;
};

class FakeModApi final : public ModApi {
public:
    explicit FakeModApi(CallLog& log) : m_log(log) {}
    void BringToFront(std::intptr_t hWnd) override {
        m_log.add("BringToFront");
        ++broughtToFront;
        handle = hWnd;
        if (window) {
            stateAtFront = window->WindowState();
            visibleAtFront = window->Visible();
        }
    }
    bool ShutdownWindows() override {
        m_log.add("ShutdownWindows");
        ++shutdownRequests;
        return acceptShutdown;
    }
    int broughtToFront = 0;
    std::intptr_t handle = 0;
    // The window as it was when last brought to the front (when `window` is set).
    const FormWindow* window = nullptr;
    int stateAtFront = -1;
    bool visibleAtFront = false;
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
    std::string decimalSeparator() const override { return separator; }
    std::string separator = ".";
};

class FakeInstance final : public AppInstance {
public:
    explicit FakeInstance(CallLog& log) : m_log(log) {}
    bool PrevInstance() override {
        m_log.add("PrevInstance");
        if (lockFails)
            throw std::runtime_error("the instance lock cannot be made");
        return running;
    }
    bool running = false;
    bool lockFails = false;
    int ended = 0;
    // Where the end passes through a view's own event handling no exception may unwind
    // it: there the process really ends, with this code (in a death test's child).
    std::optional<int> exitCode;

protected:
    [[noreturn]] void EndProcess() override {
        m_log.add("End");
        ++ended;
        if (exitCode)
            std::_Exit(*exitCode);
        throw ProcessEnded();
    }

private:
    CallLog& m_log;
};

class FakeLog final : public Log {
public:
    void Warning(const std::string& message) override { warnings.push_back(message); }
    std::vector<std::string> warnings;
};

// Records what the monitor tells its observers; `probe`, when set, runs at every call so
// that a test can look at the state the call was made in.
class FakeEvents final : public MonitorEvents {
public:
    void LinkUp() override { record("LinkUp"); }
    void FrameDecoded(const StatusFrame& frame) override {
        record(std::string("FrameDecoded:") + static_cast<char>(frame.AlarmChar));
    }
    void ReadingsShown(const ShownReadings& readings) override {
        shown.push_back(readings);
        record("ReadingsShown");
    }
    void LinkLost() override { record("LinkLost"); }
    void MainsFailure() override { record("MainsFailure"); }
    void MainsRestored() override { record("MainsRestored"); }

    std::vector<std::string> calls;
    std::vector<ShownReadings> shown;
    std::function<void(const std::string&)> probe;

private:
    void record(const std::string& call) {
        calls.push_back(call);
        if (probe)
            probe(call);
    }
};

// --- Controls, in the state the window's design gives them ---------------------------

class FakePicture final : public Picture {};

class FakeVisual final : public Visual {
public:
    explicit FakeVisual(const char* name) : shown(layout::Find(name).shown) {}
    bool Visible() const override { return shown; }
    void setVisible(bool visible) override { shown = visible; }
    bool shown;
};

class FakeLabel final : public Label {
public:
    explicit FakeLabel(const char* name)
        : caption(layout::Find(name).text), shown(layout::Find(name).shown) {}
    bool Visible() const override { return shown; }
    void setVisible(bool visible) override { shown = visible; }
    std::string Caption() const override { return caption; }
    void setCaption(const std::string& text) override { caption = text; }
    std::string caption;
    bool shown;
};

// Keeps every text it is given, in order; OnText runs for each.
class FakeStatusBar final : public StatusBar {
public:
    std::string SimpleText() const override { return texts.empty() ? "" : texts.back(); }
    void setSimpleText(const std::string& text) override {
        texts.push_back(text);
        if (OnText)
            OnText(text);
    }
    std::vector<std::string> texts;
    std::function<void(const std::string&)> OnText;
};

class FakeProgressBar final : public ProgressBar {
public:
    float Min() const override { return min; }
    void setMin(float value) override { min = value; }
    float Max() const override { return max; }
    void setMax(float value) override { max = value; }
    float Value() const override { return value; }
    void setValue(float v) override { value = v; }
    float min = 0;
    float max = 100;
    float value = 0;
};

class FakeButton final : public CommandButton {};

// A window that is created hidden in the normal state, as a view creates it.
class FakeWindow final : public FormWindow {
public:
    static constexpr std::intptr_t Handle = 4660;

    int WindowState() const override { return state; }
    void setWindowState(int value) override {
        if (value == state)
            return;
        state = value;
        if (Resize)
            Resize();
    }
    bool Visible() const override { return visible; }
    void setVisible(bool value) override {
        visible = value;
        if (value)
            stateWhenShown = state;
    }
    std::intptr_t hWnd() const override { return Handle; }
    const Picture& Icon() const override { return icon; }

    int state = vbNormal;
    bool visible = false;
    int stateWhenShown = -1; // the state at the last setVisible(true)
    FakePicture icon;
};

// A timer without a countdown of its own: the tests tick it (VirtualClock, or by calling
// its handler). `running` says whether a view would be counting down now.
class FakeTimer final : public Timer {
public:
    bool running = false;
    int countdownMs = 0;

protected:
    void StartCountdown(int milliseconds) override {
        running = true;
        countdownMs = milliseconds;
    }
    void StopCountdown() override { running = false; }
};

// The window's controls as fakes.
struct FakeControls {
    FakeWindow frmMain;
    FakeStatusBar StatusBar1;
    FakeProgressBar ProgressBar1;
    FakeTimer Timer3;
    FakeButton cmdFin;
    FakeTimer Timer2;
    FakeTimer Timer1;
    FakeVisual BoxAlarm{"BoxAlarm"};
    FakeLabel Label_Shut{"Label_Shut"};
    FakeLabel Label_Save{"Label_Save"};
    FakeVisual BoxInfo{"BoxInfo"};
    FakeVisual Img_vl2{"Img_vl2"};
    FakeVisual Img_Vl1{"Img_Vl1"};
    FakeLabel Label_Status{"Label_Status"};
    FakeLabel Label_Fcia{"Label_Fcia"};
    FakeLabel Label_VL{"Label_VL"};

    FormControls Controls(SysTrayControl& tray, CommControl& comm) {
        return {frmMain, tray,    StatusBar1, ProgressBar1, Timer3,     cmdFin,
                Timer2,  Timer1,  comm,       BoxAlarm,     Label_Shut, Label_Save,
                BoxInfo, Img_vl2, Img_Vl1,    Label_Status, Label_Fcia, Label_VL};
    }
};

// The platform services as fakes.
struct FakeServices {
    CallLog log;
    FakeComm comm{log};
    FakeBoxes boxes{log};
    FakeTray tray{log};
    FakeModApi api{log};
    FakeTicks ticks;
    FakeLocale locale;
    FakeInstance instance{log};
    FakeLog warnings;
    FakeEvents events;

    Services services() {
        return Services{boxes, api, ticks, locale, instance, warnings, events, "Linux"};
    }
};

// The monitor over a view (the fake controls, or a real view) and fake services.
// Form_Load is left to the test.
template <typename View> struct FormOn : FakeServices {
    View view;
    MonitorForm form{view.Controls(tray, comm), services()};

    FormOn() { api.window = &form.frmMain; }

    // Started and shown, as the program does it.
    void start() {
        form.Form_Load();
        form.frmMain.setVisible(true);
        log.entries.clear();
    }
    // Started, then linked through a handshake block.
    void link() {
        start();
        form.Timer1_Timer(); // opens COM1
        comm.receive(ExampleFrame());
        log.entries.clear();
    }
};

using FakeForm = FormOn<FakeControls>;
