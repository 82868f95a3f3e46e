#pragma once

#include <cstdint>
#include <string>

class AlarmStates;
class CommControl;
class Log;
class MessageBoxes;
class MonitorEvents;
class ReadingsDisplay;
class StatusBar;
class Timer;

// The link to the UPS: the receive dispatch, the search over COM1 to COM4 (Timer1) and the
// watchdog over a linked line (Timer2). Decoded frames go to the alarm states and the
// readings display; the window itself is reached only through Unload.
class DeviceLink {
public:
    DeviceLink(CommControl& MSComm1, Timer& Timer1, Timer& Timer2, Timer& Timer3,
               StatusBar& StatusBar1, MessageBoxes& boxes, Log& log, MonitorEvents& events,
               ReadingsDisplay& readings, AlarmStates& alarms);
    virtual ~DeviceLink() = default;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Every event of the serial control; only the receive event is acted on.
    void MSComm1_OnComm();
    // Brings the link up when the three bytes are the handshake "&&&".
    void CheckHandshake(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    // A tick of the search: closes the previous port and opens the next.
    void Timer1_Timer();
    // A tick of the watchdog: the linked UPS has been silent for WatchdogMs.
    void Timer2_Timer();

    std::uint8_t LinkMode = 0;   // 0 searching for the UPS, 1 linked
    std::uint8_t PortNumber = 0; // COM port being tried; 5 on the tick that ends a sweep
    std::int16_t SweepCount = 0; // fruitless sweeps over COM1 to COM4

    // Timer periods in milliseconds.
    static constexpr int SearchStepMs = 1000;     // one port tried per tick
    static constexpr int MissingPortStepMs = 100; // next port sooner after a missing one
    static constexpr int WatchdogMs = 7000;       // silence that counts as a lost link

protected:
    // Runs the exit sequence and ends the process; never returns.
    [[noreturn]] virtual void Unload() = 0;

private:
    // Shows a Retry/Cancel box of the link (search or watchdog) and returns the answer.
    // While it is open, the ticks of both link timers do nothing, so boxes never stack.
    int AskLinkRetry(const std::string& prompt);

    CommControl& m_comm;
    Timer& m_searchTimer;
    Timer& m_watchdog;
    Timer& m_trayTimer;
    StatusBar& m_statusBar;
    MessageBoxes& m_boxes;
    Log& m_log;
    MonitorEvents& m_events;
    ReadingsDisplay& m_readings;
    AlarmStates& m_alarms;
    bool m_linkBoxOpen = false;
    bool m_refusalShown = false; // the status bar says a port was refused (permission, in use)
};
