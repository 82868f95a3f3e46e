// Start-up and exit of the monitor, and the wiring of the window's events.
#include "ui/MonitorForm.h"

#include "link/StatusFrame.h"
#include "platform/AppInstance.h"
#include "platform/CommControl.h"
#include "platform/Controls.h"
#include "platform/MessageBoxes.h"
#include "platform/SysTray.h"
#include "platform/Timer.h"

#include <exception>

MonitorForm::MonitorForm(const FormControls& c, const Services& s)
    : ReadingsDisplay(c.Label_VL, c.Label_Fcia, c.Label_Status, c.Img_Vl1, c.Img_vl2,
                      c.ProgressBar1, c.StatusBar1, s.boxes, s.ticks, s.locale, s.systemName),
      AlarmStates(c.BoxAlarm, c.BoxInfo, c.Label_Save, c.Timer3, s.api, s.events),
      DeviceLink(c.MSComm1, c.Timer1, c.Timer2, c.Timer3, c.StatusBar1, s.boxes, s.log, s.events,
                 *this, *this),
      frmMain(c.frmMain), cSysTray1(c.cSysTray1), StatusBar1(c.StatusBar1),
      ProgressBar1(c.ProgressBar1), Timer3(c.Timer3), cmdFin(c.cmdFin), Timer2(c.Timer2),
      Timer1(c.Timer1), MSComm1(c.MSComm1), BoxAlarm(c.BoxAlarm), Label_Shut(c.Label_Shut),
      Label_Save(c.Label_Save), BoxInfo(c.BoxInfo), Img_vl2(c.Img_vl2), Img_Vl1(c.Img_Vl1),
      Label_Status(c.Label_Status), Label_Fcia(c.Label_Fcia), Label_VL(c.Label_VL),
      m_boxes(s.boxes), m_api(s.api), m_instance(s.instance) {
    frmMain.Resize = [this] { Form_Resize(); };
    frmMain.QueryUnload = [this] { Unload(); };
    cmdFin.Click = [this] { cmdFin_Click(); };
    cSysTray1.setTraytip(AppTitle);
    cSysTray1.MouseEvent = [this](short button, int value) { cSysTray1_MouseEvent(button, value); };
    MSComm1.OnComm = [this] { MSComm1_OnComm(); };
    Timer1.OnTimer = [this] { Timer1_Timer(); };
    Timer2.OnTimer = [this] { Timer2_Timer(); };
    Timer3.OnTimer = [this] { Timer3_Timer(); };
    m_instance.OnTerminate = [this] { Form_Terminate(); };

    // Design intervals; the handlers set their own before any timer is enabled.
    Timer1.setInterval(4000);
    Timer2.setInterval(4100);
}

void MonitorForm::Form_Load() {
    PortNumber = 0;
    try {
        if (m_instance.PrevInstance()) {
            m_boxes.MsgBox("Corvolt ya esta en ejecución", vb::OKOnly);
            Unload();
        }
        MSComm1.setSettings("9600,n,8,1");
        MSComm1.setInputMode(comm::InputModeBinary);
        MSComm1.setRThreshold(StatusFrameSize);
        LinkMode = 0;
        Timer1.setInterval(SearchStepMs);
        Timer1.setEnabled(true);
    } catch (const std::exception&) {
        // The window still comes up; without Timer1 no search runs and only exiting is left.
        m_boxes.MsgBox("Error al iniciar la aplicación.", vb::OKOnly);
    }
    ProgressBar1.setMin(0);
    ProgressBar1.setMax(100);
    Label_Shut.setVisible(false);
    Label_Save.setVisible(false);
    SweepCount = 0;
    cSysTray1.setIntray(true);
    cSysTray1.setTrayicon(frmMain.Icon());
}

void MonitorForm::cmdFin_Click() {
    Unload();
}

void MonitorForm::Form_Terminate() {
    Unload();
}

void MonitorForm::Unload() {
    if (MSComm1.PortOpen()) {
        MSComm1.setInBufferCount(0);
        MSComm1.setPortOpen(false);
    }
    cSysTray1.setIntray(false);
    m_instance.End();
}
