#include "ui/ProgressBar.h"

#include <cmath>

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    QProgressBar::setValue(0);
    setTextVisible(false);
}

void ProgressBar::setMin(float value) {
    m_min = value;
    setMinimum(static_cast<int>(std::lround(value)));
}

void ProgressBar::setMax(float value) {
    m_max = value;
    setMaximum(static_cast<int>(std::lround(value)));
}

void ProgressBar::setValue(float value) {
    m_value = value;
    QProgressBar::setValue(static_cast<int>(std::lround(value)));
}
