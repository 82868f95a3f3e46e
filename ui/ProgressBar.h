#pragma once

#include <QProgressBar>

// A battery bar whose range and value are single-precision numbers, as the readings
// produce them; the bar draws the value rounded to whole percent and shows no text.
class ProgressBar final : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);
    float Min() const { return m_min; }
    void setMin(float value);
    float Max() const { return m_max; }
    void setMax(float value);
    float Value() const { return m_value; }
    void setValue(float value);

private:
    float m_min = 0;
    float m_max = 100;
    float m_value = 0;
};
