#pragma once
// The control interfaces over Qt widgets. Each adapter refers to a widget that the window
// owns; texts cross over as UTF-8.

#include "platform/Controls.h"

#include <QIcon>

#include <string>
#include <utility>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

// A picture held as a QIcon.
class QtPicture final : public Picture {
public:
    explicit QtPicture(QIcon icon) : m_icon(std::move(icon)) {}
    const QIcon& icon() const { return m_icon; }

private:
    QIcon m_icon;
};

// Shown or hidden: the widget's own visibility flag, whatever its parent shows.
template <typename Base> class QtShown : public Base {
public:
    explicit QtShown(QWidget& widget) : m_widget(widget) {}
    bool Visible() const override;
    void setVisible(bool visible) override;

private:
    QWidget& m_widget;
};

// A frame or an image.
using QtVisual = QtShown<Visual>;

class QtLabel final : public QtShown<Label> {
public:
    explicit QtLabel(QLabel& label);
    std::string Caption() const override;
    void setCaption(const std::string& text) override;

private:
    QLabel& m_label;
};

class QtStatusBar final : public StatusBar {
public:
    explicit QtStatusBar(QStatusBar& bar) : m_bar(bar) {}
    std::string SimpleText() const override;
    void setSimpleText(const std::string& text) override;

private:
    QStatusBar& m_bar;
};

class QtProgressBar final : public RoundingProgressBar {
public:
    explicit QtProgressBar(QProgressBar& bar) : m_bar(bar) {}

protected:
    void DrawRange(int min, int max) override;
    void DrawValue(int value) override;

private:
    QProgressBar& m_bar;
};

// Raises Click for a click, and for the access key of the button's text.
class QtCommandButton final : public CommandButton {
public:
    explicit QtCommandButton(QPushButton& button);
};
