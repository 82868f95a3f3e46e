// Start-up and exit of the monitor.
#include "ui/frmMain.h"

#include "link/CommControl.h"
#include "link/StatusFrame.h"
#include "ui/AppInstance.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressBar.h"
#include "ui/SysTray.h"

#include <QCloseEvent>
#include <QLabel>

#include <exception>

void frmMain::Form_Load() {
    PortNumber = 0;
    try {
        if (m_platform.instance.PrevInstance()) {
            m_platform.boxes.MsgBox(QStringLiteral("Corvolt ya esta en ejecución"), vb::OKOnly);
            Unload();
        }
        MSComm1.setSettings(QStringLiteral("9600,n,8,1"));
        MSComm1.setInputMode(comm::InputModeBinary);
        MSComm1.setRThreshold(StatusFrameSize);
        LinkMode = 0;
        Timer1.setInterval(SearchStepMs);
        Timer1.setEnabled(true);
    } catch (const std::exception&) {
        // The window still comes up; without Timer1 no search runs and only exiting is left.
        m_platform.boxes.MsgBox(QStringLiteral("Error al iniciar la aplicación."), vb::OKOnly);
    }
    ProgressBar1->setMin(0);
    ProgressBar1->setMax(100);
    Label_Shut->setVisible(false);
    Label_Save->setVisible(false);
    SweepCount = 0;
    cSysTray1.setIntray(true);
    cSysTray1.setTrayicon(windowIcon());
}

void frmMain::cmdFin_Click() {
    Unload();
}

void frmMain::Form_Terminate() {
    Unload();
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Unload();
}

void frmMain::Unload() {
    if (MSComm1.PortOpen()) {
        MSComm1.setInBufferCount(0);
        MSComm1.setPortOpen(false);
    }
    cSysTray1.setIntray(false);
    m_platform.instance.End();
}
