// The Qt implementations of the message boxes, the tray icon and the window timer.
#include "ui/MessageBoxes.h"
#include "ui/SysTray.h"
#include "ui/Timer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
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
        const int answer = boxes.MsgBox(QStringLiteral("Se ha perdido\r\nVerifique"),
                                        vb::Critical | vb::RetryCancel, QStringLiteral("Atención"));
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
        QString title;
        QString shownTitle;
        QMessageBox::Icon icon;
    };
    const Row rows[] = {
        {vb::OKOnly, QString(), QStringLiteral("Orvane Corvolt"), QMessageBox::NoIcon},
        {vb::Information, QStringLiteral("Atención"), QStringLiteral("Atención"),
         QMessageBox::Information},
        {vb::Critical, QStringLiteral("Aviso"), QStringLiteral("Aviso"), QMessageBox::Critical},
    };
    for (const Row& row : rows) {
        QtMessageBoxes boxes;
        SeenBox seen;
        AnswerNextBox(seen, QStringLiteral("Aceptar"));
        EXPECT_EQ(boxes.MsgBox(QStringLiteral("Texto"), row.style, row.title), vb::OK);
        EXPECT_EQ(seen.title, row.shownTitle);
        EXPECT_EQ(seen.icon, row.icon);
        EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("Aceptar")});
    }
}

TEST(QtSysTray, TheIconAppearsOnceItHasAPicture) {
    QtSysTray tray;
    tray.setTraytip(QStringLiteral("Orvane Corvolt"));
    tray.setIntray(true);
    EXPECT_TRUE(tray.intray());
    EXPECT_FALSE(tray.iconShown());
    QPixmap picture(16, 16);
    picture.fill(Qt::blue);
    tray.setTrayicon(QIcon(picture));
    EXPECT_TRUE(tray.iconShown());
    EXPECT_EQ(tray.traytip(), QStringLiteral("Orvane Corvolt"));
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

TEST(Timer, IntervalAndEnabled) {
    Timer timer;
    EXPECT_FALSE(timer.isCounting());
    timer.setEnabled(true);
    EXPECT_FALSE(timer.isCounting()) << "a timer without an interval never ticks";
    timer.setInterval(1000);
    EXPECT_TRUE(timer.isCounting());
    const quint64 starts = timer.Starts();
    timer.setInterval(1000);
    EXPECT_EQ(timer.Starts(), starts + 1) << "setting the interval restarts the countdown";
    timer.setEnabled(true);
    EXPECT_EQ(timer.Starts(), starts + 1) << "enabling an enabled timer changes nothing";
    timer.setInterval(0);
    EXPECT_FALSE(timer.isCounting());
    EXPECT_TRUE(timer.Enabled());
    timer.setInterval(50);
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isCounting());
    EXPECT_EQ(timer.Interval(), 50);
}

TEST(Timer, NeverTicksEarly)
{
    Timer timer;
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

TEST(Timer, TicksEveryIntervalWhileEnabled) {
    Timer timer;
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

} // namespace
