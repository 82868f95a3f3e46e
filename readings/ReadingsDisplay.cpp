// The readings display: line voltage, frequency, battery, regulation and uptime.
#include "readings/ReadingsDisplay.h"

#include "platform/Controls.h"
#include "platform/MessageBoxes.h"
#include "platform/SystemInfo.h"
#include "readings/Calibration.h"
#include "readings/NumberText.h"
#include "readings/Uptime.h"

#include <optional>
#include <utility>

ReadingsDisplay::ReadingsDisplay(Label& Label_VL, Label& Label_Fcia, Label& Label_Status,
                                 Visual& Img_Vl1, Visual& Img_vl2, ProgressBar& ProgressBar1,
                                 StatusBar& StatusBar1, MessageBoxes& boxes, TickCounter& ticks,
                                 NumberLocale& locale, std::string systemName)
    : m_voltage(Label_VL), m_frequency(Label_Fcia), m_regulation(Label_Status),
      m_normalLamp(Img_Vl1), m_activeLamp(Img_vl2), m_battery(ProgressBar1),
      m_statusBar(StatusBar1), m_boxes(boxes), m_ticks(ticks), m_locale(locale),
      m_systemName(std::move(systemName)) {}

std::string ReadingsDisplay::Lagrange(double x) {
    std::optional<std::string> text;
    if (const std::optional<double> volts = CalibratedVoltage(x))
        text = NumberText(*volts, m_locale.decimalSeparator());
    if (!text) {
        m_boxes.MsgBox("Ocurrio un error inesperado en la aplicación 0x0002h", vb::Critical,
                       "Aviso");
        return {};
    }
    return *text;
}

std::string ReadingsDisplay::ShowLineVoltage(double x) {
    std::string volts = FormatVoltagePattern(Lagrange(x), m_locale.decimalSeparator());
    m_voltage.setCaption("Voltaje de línea : " + volts + " Volts");
    return volts;
}

std::string ReadingsDisplay::ShowFrequency(std::int32_t period) {
    // A period of 0 has no frequency: the label then shows no value, like a failed voltage.
    std::string hertz;
    const std::string separator = m_locale.decimalSeparator();
    if (period != 0) {
        if (const std::optional<std::string> text = NumberText(1000000.0 / period, separator))
            hertz = FormatVoltagePattern(*text, separator);
    }
    m_frequency.setCaption("Frecuencia : " + hertz + "Hz.");
    return hertz;
}

float ReadingsDisplay::ShowBattery(std::uint8_t charge) {
    // 255 is a full battery: the divisor is 255, so 255 gives exactly 100.
    const auto percent = static_cast<float>(charge * 100 / 255.0);
    m_battery.setValue(percent);
    return percent;
}

void ReadingsDisplay::ShowRegulation(std::uint8_t mode) {
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
    m_normalLamp.setVisible(normal);
    m_activeLamp.setVisible(!normal);
    m_regulation.setCaption(caption);
}

void ReadingsDisplay::ShowUptime() {
    m_statusBar.setSimpleText(UptimeText(m_ticks.GetTickCount(), m_systemName));
}
