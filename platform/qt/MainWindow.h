#pragma once

#include "platform/Controls.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtTimer.h"

#include <QWidget>

#include <map>
#include <string>

class CommControl;
class SysTrayControl;
struct FormControls;

// The monitor's window in Qt: a QWidget named "frmMain" built from the layout table, with
// adapters that let the monitor drive its widgets, and the window's three timers. A change
// of the window state raises Resize; the close command raises QueryUnload.
//
// Out of the tray, the window is always shown as a new native window in the normal state:
// an X11 window manager iconifies a window mapped with the iconic initial state that Qt
// wrote when it was minimised, and on Wayland only a new toplevel comes back. A minimise
// that arrives after a show and before the desktop has exposed the window is the window
// manager's, not the user's (who cannot minimise a window not yet seen): the window is
// shown normal again.
class MainWindow final : public QWidget, public FormWindow {
    Q_OBJECT
public:
    MainWindow();

    // The window's controls for the monitor, with the tray icon and serial control that the
    // program provides beside it.
    FormControls Controls(SysTrayControl& tray, CommControl& comm);

    // Twips of the layout in pixels of this screen.
    int Twips(int twips) const;

    // FormWindow.
    int WindowState() const override;
    void setWindowState(int state) override;
    bool Visible() const override;
    void setVisible(bool visible) override;
    std::intptr_t hWnd() const override;
    // True from a show until the desktop first exposes the window.
    bool Revealing() const { return m_revealing; }
    const Picture& Icon() const override;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Releases the native window, so that the next show creates a new one in the same place.
    void Renew();

    using Widgets = std::map<std::string, QWidget*>;
    Widgets BuildLayout();
    template <typename T> T& Widget(const char* name) const;

    bool m_revealing = false;
    const Widgets m_widgets;
    const QtPicture m_icon;
    QtTimer m_timer1;
    QtTimer m_timer2;
    QtTimer m_timer3;
    QtStatusBar m_statusBar;
    QtProgressBar m_progressBar;
    QtCommandButton m_cmdFin;
    QtVisual m_boxAlarm;
    QtLabel m_labelShut;
    QtLabel m_labelSave;
    QtVisual m_boxInfo;
    QtVisual m_imgVl2;
    QtVisual m_imgVl1;
    QtLabel m_labelStatus;
    QtLabel m_labelFcia;
    QtLabel m_labelVL;
};
