// The readings as the window shows them.
#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Display, LineVoltage) {
    struct Row {
        double x;
        const char* separator;
        const char* caption;
    };
    const Row rows[] = {
        {100, ".", "Voltaje de línea : 112.18 Volts"}, {79.64, ".", "Voltaje de línea : 95. Volts"},
        {0, ".", "Voltaje de línea : 18725.99 Volts"}, {135, ".", "Voltaje de línea : 145. Volts"},
        {100, ",", "Voltaje de línea : 112,18 Volts"},
    };
    for (const Row& row : rows) {
        FakeForm f;
        f.locale.separator = row.separator;
        f.form.ShowLineVoltage(row.x);
        EXPECT_EQ(f.form.Label_VL.Caption(), row.caption) << row.x;
        EXPECT_TRUE(f.boxes.calls.empty());
    }
}

TEST(Display, LagrangeReturnsTheNumberTextInTheUsersLocale) {
    FakeForm f;
    EXPECT_EQ(f.form.Lagrange(100), "112.180879286761");
    EXPECT_EQ(f.form.Lagrange(110), "120.71763933412");
    f.locale.separator = ",";
    EXPECT_EQ(f.form.Lagrange(100), "112,180879286761");
}

TEST(Display, AFailedCalibrationSaysSoAndShowsNoValue) {
    for (double x : {1e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        FakeForm f;
        f.form.ShowLineVoltage(x);
        ASSERT_EQ(f.boxes.calls.size(), 1u) << x;
        EXPECT_EQ(f.boxes.calls[0].prompt, "Ocurrio un error inesperado en la aplicación 0x0002h");
        EXPECT_EQ(f.boxes.calls[0].style, vb::Critical);
        EXPECT_EQ(f.boxes.calls[0].title, "Aviso");
        EXPECT_EQ(f.form.Label_VL.Caption(), "Voltaje de línea :  Volts");
    }
}

TEST(Display, Frequency) {
    struct Row {
        std::int32_t period;
        const char* separator;
        const char* caption;
    };
    const Row rows[] = {
        {16667, ".", "Frecuencia : 60.Hz."},   {16600, ".", "Frecuencia : 60.24Hz."},
        {20000, ".", "Frecuencia : 50.Hz."},   {19950, ".", "Frecuencia : 50.13Hz."},
        {12800, ".", "Frecuencia : 78.13Hz."}, {32767, ".", "Frecuencia : 30.52Hz."},
        {1, ".", "Frecuencia : 1000000.Hz."},  {16600, ",", "Frecuencia : 60,24Hz."},
        {0, ".", "Frecuencia : Hz."},
    };
    for (const Row& row : rows) {
        FakeForm f;
        f.locale.separator = row.separator;
        f.form.ShowFrequency(row.period);
        EXPECT_EQ(f.form.Label_Fcia.Caption(), row.caption) << row.period;
    }
}

TEST(Display, Battery) {
    const std::pair<std::uint8_t, float> rows[] = {
        {0, 0.0f},        {1, 0.3921569f},  {64, 25.09804f},
        {128, 50.19608f}, {212, 83.13725f}, {254, 99.60784f},
    };
    FakeForm f;
    for (const auto& [charge, percent] : rows) {
        f.form.ShowBattery(charge);
        EXPECT_FLOAT_EQ(f.form.ProgressBar1.Value(), percent) << int(charge);
    }
    f.form.ShowBattery(255);
    EXPECT_EQ(f.form.ProgressBar1.Value(), 100.0f);
}

TEST(Display, RegulationSequences) {
    struct Step {
        std::uint8_t mode;
        bool green;
        bool red;
        const char* caption;
    };
    const std::vector<std::vector<Step>> sequences = {
        {{'1', false, true, "Regulando línea baja"}, {'7', false, true, "Regulando línea baja"}},
        {{'2', false, true, "Regulando línea alta"}, {'0', true, false, "Regulando línea normal"}},
        {{'0', true, false, "Regulando línea normal"},
         {0x00, true, false, "Regulando línea normal"},
         {'1', false, true, "Regulando línea baja"}},
        {{'3', true, true, "Regulando Línea  :"}},
    };
    for (const auto& sequence : sequences) {
        FakeForm f;
        for (const Step& step : sequence) {
            f.form.ShowRegulation(step.mode);
            EXPECT_EQ(f.form.Img_Vl1.Visible(), step.green) << int(step.mode);
            EXPECT_EQ(f.form.Img_vl2.Visible(), step.red) << int(step.mode);
            EXPECT_EQ(f.form.Label_Status.Caption(), step.caption) << int(step.mode);
        }
    }
}

TEST(Display, Uptime) {
    const std::pair<std::uint32_t, const char*> rows[] = {
        {0, " Sesión en Linux : "},
        {59999, " Sesión en Linux : "},
        {300000, " Sesión en Linux : 05 mins"},
        {3600000, " Sesión en Linux : 1 hrs : "},
        {5000000, " Sesión en Linux : 1 hrs : 23 mins"},
        {45000000, " Sesión en Linux : 12 hrs : 30 mins"},
        {2147483648u, " Sesión en Linux : 596 hrs : 31 mins"},
        {4294967295u, " Sesión en Linux : 1193 hrs : 02 mins"},
    };
    FakeForm f;
    for (const auto& [ticks, text] : rows) {
        f.ticks.ticks = ticks;
        f.form.ShowUptime();
        EXPECT_EQ(f.form.StatusBar1.SimpleText(), text) << ticks;
    }
}

} // namespace
