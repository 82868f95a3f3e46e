// The Qt implementations of the message boxes, the tray icon, the window timer and the
// battery bar.
#include "platform/qt/QtControls.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtSysTray.h"
#include "platform/qt/QtTimer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct SeenBox {
    QString title, text, defaultButton;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next box that opens by pressing the button with this text (or Escape),
// noting what it showed.
void AnswerNextBox(SeenBox& seen, const QString& press) {
    QTimer::singleShot(0, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.append(button->text());
            if (button->text() == press)
                button->click();
        }
        if (press.isEmpty())
            QTest::keyClick(box, Qt::Key_Escape);
    });
}

TEST(QtMessageBoxes, RetryCancelBoxes) {
    struct Row {
        QString press;
        int answer;
    };
    const Row rows[] = {{QStringLiteral("&Reintentar"), vb::Retry},
                        {QStringLiteral("Cancelar"), vb::Cancel},
                        {QString(), vb::Cancel}};
    for (const Row& row : rows) {
        QtMessageBoxes boxes;
        SeenBox seen;
        // The answer is queued before the box opens and runs inside the box's own loop.
        AnswerNextBox(seen, row.press);
        const int answer =
            boxes.MsgBox("Se ha perdido\r\nVerifique", vb::Critical | vb::RetryCancel, "Atención");
        EXPECT_EQ(answer, row.answer) << qPrintable(row.press);
        EXPECT_EQ(seen.title, QStringLiteral("Atención"));
        EXPECT_EQ(seen.text, QStringLiteral("Se ha perdido\nVerifique"));
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_EQ(seen.buttons,
                  (QStringList{QStringLiteral("&Reintentar"), QStringLiteral("Cancelar")}));
        EXPECT_EQ(seen.defaultButton, QStringLiteral("&Reintentar"));
    }
}

TEST(QtMessageBoxes, OkBoxesTakeTheApplicationTitleWhenTheyHaveNone) {
    struct Row {
        int style;
        std::string title;
        QString shownTitle;
        QMessageBox::Icon icon;
    };
    const Row rows[] = {
        {vb::OKOnly, "", QStringLiteral("Orvane Corvolt"), QMessageBox::NoIcon},
        {vb::Information, "Atención", QStringLiteral("Atención"), QMessageBox::Information},
        {vb::Critical, "Aviso", QStringLiteral("Aviso"), QMessageBox::Critical},
    };
    for (const Row& row : rows) {
        QtMessageBoxes boxes;
        SeenBox seen;
        AnswerNextBox(seen, QStringLiteral("Aceptar"));
        EXPECT_EQ(boxes.MsgBox("Texto", row.style, row.title), vb::OK);
        EXPECT_EQ(seen.title, row.shownTitle);
        EXPECT_EQ(seen.icon, row.icon);
        EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("Aceptar")});
    }
}

TEST(QtSysTray, TheIconAppearsOnceItHasAPicture) {
    QtSysTray tray;
    tray.setTraytip("Orvane Corvolt");
    tray.setIntray(true);
    EXPECT_TRUE(tray.intray());
    EXPECT_FALSE(tray.iconShown());
    QPixmap picture(16, 16);
    picture.fill(Qt::blue);
    const QtPicture icon{QIcon(picture)};
    tray.setTrayicon(icon);
    EXPECT_TRUE(tray.iconShown());
    EXPECT_EQ(tray.icon().cacheKey(), icon.icon().cacheKey());
    EXPECT_EQ(tray.traytip(), "Orvane Corvolt");
    tray.setIntray(false);
    EXPECT_FALSE(tray.intray());
    EXPECT_FALSE(tray.iconShown());
}

TEST(QtSysTray, ActivationsBecomeButtonCodes) {
    const std::pair<QSystemTrayIcon::ActivationReason, short> rows[] = {
        {QSystemTrayIcon::Trigger, 1}, {QSystemTrayIcon::DoubleClick, 1},
        {QSystemTrayIcon::Context, 2}, {QSystemTrayIcon::MiddleClick, 4},
        {QSystemTrayIcon::Unknown, 0},
    };
    for (const auto& [reason, button] : rows)
        EXPECT_EQ(QtSysTray::ButtonCode(reason), button) << reason;
}

TEST(QtTimer, NeverTicksEarly) {
    QtTimer timer;
    QElapsedTimer clock;
    qint64 elapsed = -1;
    timer.OnTimer = [&] {
        elapsed = clock.elapsed();
        timer.setEnabled(false);
    };
    clock.start();
    timer.setInterval(400);
    timer.setEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return elapsed >= 0; }, 5000));
    // A coarse Qt timer could fire 20 ms early here.
    EXPECT_GE(elapsed, 399);
}

TEST(QtTimer, TicksEveryIntervalWhileEnabled) {
    QtTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] {
        if (++ticks == 3)
            timer.setEnabled(false);
    };
    timer.setInterval(10);
    timer.setEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks == 3; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(ticks, 3);
}

TEST(QtProgressBar, KeepsTheExactValueAndDrawsItRounded) {
    const std::pair<float, int> rows[] = {{0.0f, 0},       {0.3921569f, 0},  {50.19608f, 50},
                                          {83.13725f, 83}, {99.60784f, 100}, {100.0f, 100}};
    QProgressBar widget;
    widget.setRange(0, 100);
    QtProgressBar bar(widget);
    for (const auto& [value, drawn] : rows) {
        bar.setValue(value);
        EXPECT_EQ(bar.Value(), value);
        EXPECT_EQ(widget.value(), drawn) << value;
    }
    bar.setMin(0);
    bar.setMax(100);
    EXPECT_EQ(widget.minimum(), 0);
    EXPECT_EQ(widget.maximum(), 100);
    EXPECT_EQ(bar.Max(), 100.0f);
}

} // namespace
