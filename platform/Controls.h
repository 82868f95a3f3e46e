#pragma once
// The controls of the monitor's window as its behaviour sees them. Each view (Qt, Win32)
// implements them over its own widgets; the tests use fakes. All text is UTF-8, and every
// call happens on the user-interface thread.

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

// A picture owned by the view (a QIcon, an HICON). The behaviour only hands it on by
// reference, from the window to the tray icon.
class Picture {
public:
    virtual ~Picture() = default;
};

// A control that can be shown or hidden: a frame or an image.
class Visual {
public:
    virtual ~Visual() = default;
    virtual bool Visible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

// A label: its caption, and whether it is shown.
class Label : public Visual {
public:
    virtual std::string Caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
};

// A status bar in simple style: one text across its whole width.
class StatusBar {
public:
    virtual ~StatusBar() = default;
    virtual std::string SimpleText() const = 0;
    virtual void setSimpleText(const std::string& text) = 0;
};

// A horizontal progress bar whose range and value are single-precision numbers.
class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual float Min() const = 0;
    virtual void setMin(float value) = 0;
    virtual float Max() const = 0;
    virtual void setMax(float value) = 0;
    virtual float Value() const = 0;
    virtual void setValue(float value) = 0;
};

// A progress bar that draws whole numbers: the exact values are kept here, and the view
// draws them rounded to the nearest whole number.
class RoundingProgressBar : public ProgressBar {
public:
    float Min() const override { return m_min; }
    void setMin(float value) override {
        m_min = value;
        DrawRange(Whole(m_min), Whole(m_max));
    }
    float Max() const override { return m_max; }
    void setMax(float value) override {
        m_max = value;
        DrawRange(Whole(m_min), Whole(m_max));
    }
    float Value() const override { return m_value; }
    void setValue(float value) override {
        m_value = value;
        DrawValue(Whole(value));
    }

protected:
    virtual void DrawRange(int min, int max) = 0;
    virtual void DrawValue(int value) = 0;

private:
    static int Whole(float value) { return static_cast<int>(std::lround(value)); }

    float m_min = 0;
    float m_max = 100;
    float m_value = 0;
};

// A push button; the view raises Click for a pointer click and for its access key.
class CommandButton {
public:
    virtual ~CommandButton() = default;
    std::function<void()> Click;
};

// Window states; the monitor never maximises its window.
constexpr int vbNormal = 0;
constexpr int vbMinimized = 1;

// The window itself.
class FormWindow {
public:
    virtual ~FormWindow() = default;
    // vbNormal or vbMinimized. Setting a different state raises Resize before returning.
    virtual int WindowState() const = 0;
    virtual void setWindowState(int state) = 0;
    virtual bool Visible() const = 0;
    virtual void setVisible(bool visible) = 0;
    // The native window handle, for bringing the window to the front.
    virtual std::intptr_t hWnd() const = 0;
    // The window's own icon.
    virtual const Picture& Icon() const = 0;

    // After every change of the window's size or state.
    std::function<void()> Resize;
    // The window's close command: the user closed it, or the session is ending.
    std::function<void()> QueryUnload;
};
