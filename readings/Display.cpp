// The readings display: line voltage, frequency, battery, regulation and uptime.
#include "ui/frmMain.h"

#include "readings/Calibration.h"
#include "readings/NumberText.h"
#include "readings/SystemInfo.h"
#include "readings/Uptime.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressBar.h"

#include <QLabel>
#include <QStatusBar>

QString frmMain::Lagrange(double x) {
    const QString separator = m_platform.locale.decimalSeparator();
    std::optional<QString> text;
    if (const std::optional<double> volts = CalibratedVoltage(x))
        text = NumberText(*volts, separator);
    if (!text) {
        m_platform.boxes.MsgBox(
            QStringLiteral("Ocurrio un error inesperado en la aplicación 0x0002h"), vb::Critical,
            QStringLiteral("Aviso"));
        return QString();
    }
    return *text;
}

void frmMain::ShowLineVoltage(double x) {
    const QString volts = FormatVoltagePattern(Lagrange(x), m_platform.locale.decimalSeparator());
    Label_VL->setText(QStringLiteral("Voltaje de línea : ") + volts + QStringLiteral(" Volts"));
}

void frmMain::ShowFrequency(std::int32_t period) {
    // A period of 0 has no frequency: the label then shows no value, like a failed voltage.
    QString hertz;
    const QString separator = m_platform.locale.decimalSeparator();
    if (period != 0) {
        if (const std::optional<QString> text = NumberText(1000000.0 / period, separator))
            hertz = FormatVoltagePattern(*text, separator);
    }
    Label_Fcia->setText(QStringLiteral("Frecuencia : ") + hertz + QStringLiteral("Hz."));
}

void frmMain::ShowBattery(std::uint8_t charge) {
    // 255 is a full battery: the divisor is 255, so 255 gives exactly 100.
    ProgressBar1->setValue(static_cast<float>(charge * 100 / 255.0));
}

void frmMain::ShowRegulation(std::uint8_t mode) {
    const char* caption = nullptr;
    switch (mode) {
    case '0':
        caption = "Regulando línea normal";
        break;
    case '1':
        caption = "Regulando línea baja";
        break;
    case '2':
        caption = "Regulando línea alta";
        break;
    default:
        return;
    }
    const bool normal = mode == '0';
    Img_Vl1->setVisible(normal);
    Img_vl2->setVisible(!normal);
    Label_Status->setText(QString::fromUtf8(caption));
}

void frmMain::ShowUptime() {
    StatusBar1->showMessage(UptimeText(m_platform.ticks.GetTickCount(), SystemName()));
}
