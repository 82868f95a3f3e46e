#pragma once

#include "ui/Platform.h"
#include "ui/Timer.h"

#include <QWidget>

#include <cstdint>

class CommControl;
class ProgressBar;
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;
class SysTrayControl;

// The monitor's one window. It owns the controls, the monitor state and one handler per
// event; the handlers of each subsystem are defined in that subsystem's folder.
class frmMain final : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(const Platform& platform, QWidget* parent = nullptr);

    // Controls, front to back.
    SysTrayControl& cSysTray1;
    QStatusBar* StatusBar1;
    ProgressBar* ProgressBar1;
    Timer Timer3;
    QPushButton* cmdFin;
    Timer Timer2;
    Timer Timer1;
    CommControl& MSComm1;
    QGroupBox* BoxAlarm;
    QLabel* Label_Shut;
    QLabel* Label_Save;
    QLabel* Img_Monito;
    QLabel* Icon_Falla;
    QLabel* Label_WM;
    QGroupBox* BoxInfo;
    QLabel* Img_vl2;
    QLabel* Img_Vl1;
    QLabel* igual;
    QLabel* Label_Status;
    QLabel* Label_Fcia;
    QLabel* Label_VL;
    QLabel* Label_VBat;

    // Monitor state.
    std::uint8_t LinkMode = 0;   // 0 searching for the UPS, 1 linked
    std::uint8_t PortNumber = 0; // COM port being tried; 5 on the tick that ends a sweep
    std::int16_t SweepCount = 0; // fruitless sweeps over COM1 to COM4
    bool AlarmRaised = false;    // the window was raised for an alarm not yet cleared

    // Lifecycle (ui/).
    void Form_Load();
    void Form_Resize();
    void Form_Terminate();
    void cmdFin_Click();
    // Runs the exit sequence and ends the process; never returns.
    [[noreturn]] void Unload();

    // Device link (link/).
    void MSComm1_OnComm();
    void CheckHandshake(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    void Timer1_Timer();
    void Timer2_Timer();

    // Readings (readings/).
    QString Lagrange(double x);
    void ShowLineVoltage(double x);
    void ShowFrequency(std::int32_t period);
    void ShowBattery(std::uint8_t charge);
    void ShowRegulation(std::uint8_t mode);
    void ShowUptime();

    // Power events (power/).
    void ShowAlarm(std::uint8_t alarmChar);

    // Tray and visibility (ui/).
    void Timer3_Timer();
    void cSysTray1_MouseEvent(short button, int value);
    // Window state normal, visible, then in front of all other windows.
    void RaiseWindow();

    // Twips of the layout in pixels of this screen.
    int Twips(int twips) const;

    // Timer periods in milliseconds.
    static constexpr int SearchStepMs = 1000;     // one port tried per tick
    static constexpr int MissingPortStepMs = 100; // next port sooner after a missing one
    static constexpr int WatchdogMs = 7000;       // silence that counts as a lost link
    static constexpr int TrayDelayMs = 4000;      // shown this long before going to the tray

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    // Shows a Retry/Cancel box of the link (search or watchdog) and returns the answer.
    // While it is open, the ticks of both link timers do nothing, so boxes never stack.
    int AskLinkRetry(const QString& prompt);

    const Platform m_platform;
    bool m_linkBoxOpen = false;
};
