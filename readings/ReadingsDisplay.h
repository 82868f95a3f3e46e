#pragma once

#include <cstdint>
#include <optional>
#include <string>

class Label;
class MessageBoxes;
class NumberLocale;
class ProgressBar;
class StatusBar;
class TickCounter;
class Visual;

// The readings of one frame as the window shows them, for observers that publish them
// elsewhere: the values within the label texts (user's decimal separator) and the bar's
// value. A reading the frame does not carry (a word out of range) is empty.
struct ShownReadings {
    std::optional<std::string> lineVoltage; // e.g. "120." of "Voltaje de línea : 120. Volts"
    std::optional<std::string> frequency;   // e.g. "60." of "Frecuencia : 60.Hz."
    float batteryPercent = 0;
};

// The readings of one status frame as the window shows them (line voltage, frequency,
// battery, regulation), and the system's uptime on the status bar. It keeps no state of
// its own: every call only sets the controls it was given.
class ReadingsDisplay {
public:
    // systemName is what the uptime text calls the running system ("Linux", "Windows").
    ReadingsDisplay(Label& Label_VL, Label& Label_Fcia, Label& Label_Status, Visual& Img_Vl1,
                    Visual& Img_vl2, ProgressBar& ProgressBar1, StatusBar& StatusBar1,
                    MessageBoxes& boxes, TickCounter& ticks, NumberLocale& locale,
                    std::string systemName);
    virtual ~ReadingsDisplay() = default;
    ReadingsDisplay(const ReadingsDisplay&) = delete;
    ReadingsDisplay& operator=(const ReadingsDisplay&) = delete;

    // Line voltage for x, the square root of the raw voltage code, as a number text in the
    // user's locale; after a failed calibration (which it reports in a box) an empty text.
    std::string Lagrange(double x);
    // Each Show returns the value it wrote into its control.
    std::string ShowLineVoltage(double x);
    // period: the mains period in microseconds.
    std::string ShowFrequency(std::int32_t period);
    // charge: 0 to 255, 255 being full.
    float ShowBattery(std::uint8_t charge);
    // mode: '0' normal, '1' low line, '2' high line; any other value changes nothing.
    void ShowRegulation(std::uint8_t mode);
    void ShowUptime();

private:
    Label& m_voltage;
    Label& m_frequency;
    Label& m_regulation;
    Visual& m_normalLamp;
    Visual& m_activeLamp;
    ProgressBar& m_battery;
    StatusBar& m_statusBar;
    MessageBoxes& m_boxes;
    TickCounter& m_ticks;
    NumberLocale& m_locale;
    const std::string m_systemName;
};
