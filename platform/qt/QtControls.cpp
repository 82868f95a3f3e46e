#include "platform/qt/QtControls.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

template <typename Base> bool QtShown<Base>::Visible() const {
    return !m_widget.isHidden();
}

template <typename Base> void QtShown<Base>::setVisible(bool visible) {
    m_widget.setVisible(visible);
}

template class QtShown<Visual>;
template class QtShown<Label>;

QtLabel::QtLabel(QLabel& label) : QtShown<Label>(label), m_label(label) {}

std::string QtLabel::Caption() const {
    return m_label.text().toStdString();
}

void QtLabel::setCaption(const std::string& text) {
    m_label.setText(QString::fromStdString(text));
}

std::string QtStatusBar::SimpleText() const {
    return m_bar.currentMessage().toStdString();
}

void QtStatusBar::setSimpleText(const std::string& text) {
    m_bar.showMessage(QString::fromStdString(text));
}

void QtProgressBar::DrawRange(int min, int max) {
    m_bar.setRange(min, max);
}

void QtProgressBar::DrawValue(int value) {
    m_bar.setValue(value);
}

QtCommandButton::QtCommandButton(QPushButton& button) {
    QObject::connect(&button, &QPushButton::clicked, [this] {
        if (Click)
            Click();
    });
}
