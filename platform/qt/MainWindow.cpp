#include "platform/qt/MainWindow.h"

#include "ui/Layout.h"
#include "ui/MonitorForm.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QWindow>

#include <iterator>

namespace {

QString PictureResource(const char* file) {
    return QStringLiteral(":/pictures/") + QString::fromLatin1(file);
}

// A widget of the control's kind, in the state it has when created. Labels are opaque on
// the window's face colour, with top-left text that wraps at word boundaries, is cut at the
// label's height and is never read as markup.
QWidget* NewWidget(const layout::Control& control, QWidget* parent) {
    const QString text = QString::fromUtf8(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case layout::Kind::StatusBar: {
        auto* bar = new QStatusBar(parent);
        bar->setSizeGripEnabled(false);
        widget = bar;
        break;
    }
    case layout::Kind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        widget = bar;
        break;
    }
    case layout::Kind::Button:
        widget = new QPushButton(text, parent);
        break;
    case layout::Kind::Frame:
        widget = new QGroupBox(text, parent);
        break;
    case layout::Kind::Label: {
        auto* label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        label->setAutoFillBackground(true);
        widget = label;
        break;
    }
    case layout::Kind::Image: {
        auto* image = new QLabel(parent);
        image->setPixmap(QPixmap(PictureResource(control.picture)));
        widget = image;
        break;
    }
    }
    widget->setObjectName(QString::fromLatin1(control.name));
    if (control.accessibleName)
        widget->setAccessibleName(QString::fromUtf8(control.accessibleName));
    return widget;
}

} // namespace

MainWindow::MainWindow()
    : m_widgets(BuildLayout()), m_icon(windowIcon()), m_statusBar(Widget<QStatusBar>("StatusBar1")),
      m_progressBar(Widget<QProgressBar>("ProgressBar1")), m_cmdFin(Widget<QPushButton>("cmdFin")),
      m_boxAlarm(Widget<QGroupBox>("BoxAlarm")), m_labelShut(Widget<QLabel>("Label_Shut")),
      m_labelSave(Widget<QLabel>("Label_Save")), m_boxInfo(Widget<QGroupBox>("BoxInfo")),
      m_imgVl2(Widget<QLabel>("Img_vl2")), m_imgVl1(Widget<QLabel>("Img_Vl1")),
      m_labelStatus(Widget<QLabel>("Label_Status")), m_labelFcia(Widget<QLabel>("Label_Fcia")),
      m_labelVL(Widget<QLabel>("Label_VL")) {}

MainWindow::Widgets MainWindow::BuildLayout() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(layout::Caption));
    setWindowIcon(QIcon(PictureResource(layout::IconPicture)));
    setFixedSize(Twips(layout::ClientWidth), Twips(layout::ClientHeight));

    // Created from back to front, since a later sibling lies in front of an earlier one;
    // the window's own controls first, so that every frame exists before its children.
    Widgets widgets{{"frmMain", this}};
    for (const bool onWindow : {true, false}) {
        for (auto control = std::rbegin(layout::Controls); control != std::rend(layout::Controls);
             ++control) {
            if ((std::string(control->container) == "frmMain") != onWindow)
                continue;
            QWidget* widget = NewWidget(*control, widgets.at(control->container));
            widgets[control->name] = widget;
            if (control->kind == layout::Kind::Image) {
                widget->setGeometry(QRect(QPoint(Twips(control->left), Twips(control->top)),
                                          static_cast<QLabel*>(widget)->pixmap().size()));
            } else if (control->kind == layout::Kind::StatusBar) {
                // Docked to the bottom edge at the full width of the client area.
                const int statusHeight = Twips(control->height);
                widget->setGeometry(0, height() - statusHeight, width(), statusHeight);
            } else {
                widget->setGeometry(Twips(control->left), Twips(control->top),
                                    Twips(control->width), Twips(control->height));
            }
            if (!control->shown)
                widget->setVisible(false);
        }
    }

    // The exit button is the only control that takes the keyboard focus.
    QWidget* const exitButton = widgets.at("cmdFin");
    for (QWidget* child : findChildren<QWidget*>())
        child->setFocusPolicy(child == exitButton ? Qt::StrongFocus : Qt::NoFocus);
    exitButton->setFocus();
    return widgets;
}

template <typename T> T& MainWindow::Widget(const char* name) const {
    return *static_cast<T*>(m_widgets.at(name));
}

FormControls MainWindow::Controls(SysTrayControl& tray, CommControl& comm) {
    return FormControls{*this,     tray,     m_statusBar, m_progressBar, m_timer3,    m_cmdFin,
                        m_timer2,  m_timer1, comm,        m_boxAlarm,    m_labelShut, m_labelSave,
                        m_boxInfo, m_imgVl2, m_imgVl1,    m_labelStatus, m_labelFcia, m_labelVL};
}

int MainWindow::Twips(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

int MainWindow::WindowState() const {
    return windowState() & Qt::WindowMinimized ? vbMinimized : vbNormal;
}

void MainWindow::setWindowState(int state) {
    if (state == vbMinimized) {
        m_revealing = false; // the monitor's own minimise
        QWidget::setWindowState(Qt::WindowMinimized);
    } else if (isHidden()) {
        // Out of the tray: a native window keeps the iconic initial state that the
        // minimise wrote on it, and undoing the minimise would map it at once. The window
        // is shown as a new one instead, created in the state set here without a platform
        // request; Qt raises the state change all the same.
        Renew();
        overrideWindowState(windowState() & ~Qt::WindowMinimized);
    } else {
        QWidget::setWindowState(windowState() & ~Qt::WindowMinimized);
    }
}

bool MainWindow::Visible() const {
    return isVisible();
}

void MainWindow::setVisible(bool visible) {
    if (!visible) {
        m_revealing = false;
        QWidget::setVisible(false);
        return;
    }
    if (isVisible())
        return;
    // A hidden window is shown as a new native window (see setWindowState).
    Renew();
    QWidget::setVisible(true);
    m_revealing = true;
    windowHandle()->installEventFilter(this);
}

void MainWindow::Renew() {
    if (!testAttribute(Qt::WA_WState_Created))
        return;
    // The new window's frame takes the old one's place: moving (not setting the geometry)
    // makes the position the frame's, as the first show had it.
    const QPoint placed = pos();
    destroy();
    move(placed);
}

std::intptr_t MainWindow::hWnd() const {
    // Only a shown window has a native one; asking must not create it.
    return static_cast<std::intptr_t>(internalWinId());
}

const Picture& MainWindow::Icon() const {
    return m_icon;
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (m_revealing && (windowState() & Qt::WindowMinimized)) {
        // The window manager iconified the window it was asked to show.
        QWidget::setWindowState(windowState() & ~Qt::WindowMinimized);
        raise();
        activateWindow();
        return;
    }
    if (Resize)
        Resize();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed())
        m_revealing = false;
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (QueryUnload)
        QueryUnload();
}
