#pragma once

#include <cstdint>

class Label;
class ModApi;
class MonitorEvents;
class Timer;
class Visual;

// The UPS's alarm states: "0" mains present, "1" running on batteries, "2" shut the
// computer down. The window itself is reached only through RaiseWindow and Unload.
class AlarmStates {
public:
    AlarmStates(Visual& BoxAlarm, Visual& BoxInfo, Label& Label_Save, Timer& Timer3, ModApi& api,
                MonitorEvents& events);
    virtual ~AlarmStates() = default;
    AlarmStates(const AlarmStates&) = delete;
    AlarmStates& operator=(const AlarmStates&) = delete;

    // Shows the panel of the alarm character (byte 9 of a decoded frame); raises the window
    // once per alarm, and on the second "2" in a row asks for the power-off, ending the
    // program when it is accepted.
    void ShowAlarm(std::uint8_t alarmChar);
    // The system has accepted the power-off: shows Label_Save and ends the program.
    void PowerOffAccepted();

    // The window was raised for an alarm that has not cleared yet.
    bool AlarmRaised = false;

    // The last decoded frame of this link carried "2". The frame has no checksum, and one
    // stray "&" before a frame makes its regulation byte the alarm byte; so the power-off,
    // which ends every program, waits for the next frame (a second later) to say "2" too.
    // A decoded frame with any other alarm byte clears it, and so does a new link; a block
    // that fails the header test is no frame and leaves it as it is.
    bool FinalAlarmPending = false;

    // How long the window stays shown before Timer3 sends it to the tray.
    static constexpr int TrayDelayMs = 4000;

protected:
    // Window state normal, visible, then in front of all other windows.
    virtual void RaiseWindow() = 0;
    // Runs the exit sequence and ends the process; never returns.
    [[noreturn]] virtual void Unload() = 0;

private:
    void RaiseForAlarm();

    Visual& m_alarmPanel;
    Visual& m_infoPanel;
    Label& m_saveLabel;
    Timer& m_trayTimer;
    ModApi& m_api;
    MonitorEvents& m_events;
};
