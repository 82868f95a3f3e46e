#include "ui/frmMain.h"

#include "link/CommControl.h"
#include "ui/AppInstance.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressBar.h"
#include "ui/SysTray.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>

namespace {

// A caption label: opaque on the window's face colour, top-left text that wraps at word
// boundaries and is cut at the label's height, never interpreted as markup.
QLabel* NewLabel(QWidget* parent, const QString& objectName, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setAutoFillBackground(true);
    return label;
}

// A picture shown at its own pixel size; transparent parts show the container.
QLabel* NewImage(QWidget* parent, const QString& objectName, const QString& resource) {
    auto* image = new QLabel(parent);
    image->setObjectName(objectName);
    image->setPixmap(QPixmap(resource));
    return image;
}

QGroupBox* NewFrame(QWidget* parent, const QString& objectName, const QString& caption) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(objectName);
    return frame;
}

} // namespace

frmMain::frmMain(const Platform& platform, QWidget* parent)
    : QWidget(parent), cSysTray1(platform.tray), MSComm1(platform.comm), m_platform(platform) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Orvane   Corvolt"));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/corvolt.png")));
    BuildLayout();

    cSysTray1.setTraytip(AppTitle);
    cSysTray1.MouseEvent = [this](short button, int value) { cSysTray1_MouseEvent(button, value); };
    MSComm1.OnComm = [this] { MSComm1_OnComm(); };
    Timer1.OnTimer = [this] { Timer1_Timer(); };
    Timer2.OnTimer = [this] { Timer2_Timer(); };
    Timer3.OnTimer = [this] { Timer3_Timer(); };
    m_platform.instance.OnTerminate = [this] { Form_Terminate(); };
    connect(cmdFin, &QPushButton::clicked, this, [this] { cmdFin_Click(); });

    // Design intervals; the handlers set their own before any timer is enabled.
    Timer1.setInterval(4000);
    Timer2.setInterval(4100);
}

int frmMain::Twips(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

void frmMain::BuildLayout() {
    setFixedSize(Twips(4380), Twips(3804));
    const auto place = [this](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
    };
    const auto placeImage = [this](QLabel* image, int left, int top) {
        image->setGeometry(QRect(QPoint(Twips(left), Twips(top)), image->pixmap().size()));
    };

    // Created from back to front: a later sibling lies in front of an earlier one.
    Label_VBat = NewLabel(this, QStringLiteral("Label_VBat"), QStringLiteral("% Batería"));
    place(Label_VBat, 240, 120, 1092, 372);

    BoxInfo = NewFrame(this, QStringLiteral("BoxInfo"), QString());
    place(BoxInfo, 240, 765, 3936, 2136);
    Label_VL = NewLabel(BoxInfo, QStringLiteral("Label_VL"), QStringLiteral("Voltaje de Línea : "));
    place(Label_VL, 192, 360, 2796, 432);
    Label_Fcia = NewLabel(BoxInfo, QStringLiteral("Label_Fcia"), QStringLiteral("Frecuencia :"));
    place(Label_Fcia, 192, 900, 2508, 396);
    Label_Status =
        NewLabel(BoxInfo, QStringLiteral("Label_Status"), QStringLiteral("Regulando Línea  :"));
    place(Label_Status, 195, 1560, 2940, 390);
    igual = NewImage(BoxInfo, QStringLiteral("igual"), QStringLiteral(":/pictures/igual.png"));
    placeImage(igual, 3360, 1440);
    Img_Vl1 = NewImage(BoxInfo, QStringLiteral("Img_Vl1"), QStringLiteral(":/pictures/vl1.gif"));
    placeImage(Img_Vl1, 3420, 360);
    Img_vl2 = NewImage(BoxInfo, QStringLiteral("Img_vl2"), QStringLiteral(":/pictures/vl2.gif"));
    placeImage(Img_vl2, 3420, 360);

    BoxAlarm = NewFrame(this, QStringLiteral("BoxAlarm"), QStringLiteral("Atención"));
    place(BoxAlarm, 240, 765, 3936, 2136);
    Label_WM = NewLabel(BoxAlarm, QStringLiteral("Label_WM"),
                        QStringLiteral("Falla de línea  funcionamiento con baterias"));
    place(Label_WM, 480, 1080, 3060, 612);
    Icon_Falla =
        NewImage(BoxAlarm, QStringLiteral("Icon_Falla"), QStringLiteral(":/pictures/falla.png"));
    placeImage(Icon_Falla, 120, 360);
    Img_Monito =
        NewImage(BoxAlarm, QStringLiteral("Img_Monito"), QStringLiteral(":/pictures/monito.png"));
    placeImage(Img_Monito, 3360, 1560);
    Img_Monito->setVisible(false);
    Label_Save = NewLabel(BoxAlarm, QStringLiteral("Label_Save"),
                          QStringLiteral("Por favor, guarde todos los archivos"));
    place(Label_Save, 720, 480, 2652, 372);
    Label_Shut =
        NewLabel(BoxAlarm, QStringLiteral("Label_Shut"), QStringLiteral("Apagando el equipo ..."));
    place(Label_Shut, 240, 1680, 2772, 252);
    Label_Shut->setVisible(false);
    BoxAlarm->setVisible(false);

    cmdFin = new QPushButton(QStringLiteral("&Finalizar"), this);
    cmdFin->setObjectName(QStringLiteral("cmdFin"));
    place(cmdFin, 3000, 3120, 1200, 360);

    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    place(ProgressBar1, 1320, 120, 2892, 132);

    // Docked to the bottom edge at the full width of the client area.
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    const int statusHeight = Twips(252);
    StatusBar1->setGeometry(0, height() - statusHeight, width(), statusHeight);

    // Names a screen reader announces for controls that show state without text.
    ProgressBar1->setAccessibleName(Label_VBat->text());
    BoxInfo->setAccessibleName(QStringLiteral("Lecturas"));
    Img_Vl1->setAccessibleName(QStringLiteral("Regulación normal"));
    Img_vl2->setAccessibleName(QStringLiteral("Regulación activa"));
    Icon_Falla->setAccessibleName(QStringLiteral("Advertencia"));
    igual->setAccessibleName(QStringLiteral("Equipo"));
    Img_Monito->setAccessibleName(QStringLiteral("Usuario"));

    // The exit button is the only control that takes the keyboard focus.
    for (QWidget* child : findChildren<QWidget*>())
        child->setFocusPolicy(Qt::NoFocus);
    cmdFin->setFocusPolicy(Qt::StrongFocus);
    cmdFin->setFocus();
}

void frmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}
