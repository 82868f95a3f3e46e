#pragma once

#include "link/DeviceLink.h"
#include "power/AlarmStates.h"
#include "readings/ReadingsDisplay.h"

#include <string>

class AppInstance;
class CommandButton;
class CommControl;
class FormWindow;
class Label;
class Log;
class MessageBoxes;
class ModApi;
class MonitorEvents;
class NumberLocale;
class ProgressBar;
class StatusBar;
class SysTrayControl;
class TickCounter;
class Timer;
class Visual;

// Every control of the window that the monitor's behaviour touches, front to back. A view
// (Qt, Win32) owns them; the tests use fakes.
struct FormControls {
    FormWindow& frmMain;
    SysTrayControl& cSysTray1;
    StatusBar& StatusBar1;
    ProgressBar& ProgressBar1;
    Timer& Timer3;
    CommandButton& cmdFin;
    Timer& Timer2;
    Timer& Timer1;
    CommControl& MSComm1;
    Visual& BoxAlarm;
    Label& Label_Shut;
    Label& Label_Save;
    Visual& BoxInfo;
    Visual& Img_vl2;
    Visual& Img_Vl1;
    Label& Label_Status;
    Label& Label_Fcia;
    Label& Label_VL;
};

// The operating system and the desktop as the monitor uses them.
struct Services {
    MessageBoxes& boxes;
    ModApi& api;
    TickCounter& ticks;
    NumberLocale& locale;
    AppInstance& instance;
    Log& log;
    MonitorEvents& events;
    std::string systemName; // as the uptime text names the system: "Linux", "Windows"
};

// The monitor's one window as its behaviour sees it: the controls under their names, the
// monitor state, and one handler per event. It exists once for the life of the process
// and drives only the control interfaces, so any view can show it.
class MonitorForm final : public ReadingsDisplay, public AlarmStates, public DeviceLink {
public:
    // Wires every event of the controls to its handler and sets the design intervals.
    MonitorForm(const FormControls& controls, const Services& services);

    // Controls, front to back.
    FormWindow& frmMain;
    SysTrayControl& cSysTray1;
    StatusBar& StatusBar1;
    ProgressBar& ProgressBar1;
    Timer& Timer3;
    CommandButton& cmdFin;
    Timer& Timer2;
    Timer& Timer1;
    CommControl& MSComm1;
    Visual& BoxAlarm;
    Label& Label_Shut;
    Label& Label_Save;
    Visual& BoxInfo;
    Visual& Img_vl2;
    Visual& Img_Vl1;
    Label& Label_Status;
    Label& Label_Fcia;
    Label& Label_VL;

    // Lifecycle (ui/Lifecycle.cpp).
    void Form_Load();
    void Form_Terminate();
    void cmdFin_Click();
    // Runs the exit sequence and ends the process; never returns.
    [[noreturn]] void Unload() override;

    // Tray and visibility (ui/TrayVisibility.cpp).
    void Form_Resize();
    void Timer3_Timer();
    void cSysTray1_MouseEvent(short button, int value);
    // Window state normal, visible, then in front of all other windows.
    void RaiseWindow() override;

private:
    MessageBoxes& m_boxes;
    ModApi& m_api;
    AppInstance& m_instance;
};
