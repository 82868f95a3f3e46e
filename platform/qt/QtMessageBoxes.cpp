#include "platform/qt/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

int QtMessageBoxes::MsgBox(const std::string& prompt, int style, const std::string& title) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title.empty() ? AppTitle : title));
    box.setWindowIcon(QApplication::windowIcon());
    // The texts use CR LF between lines; the label wants a plain line feed.
    box.setText(
        QString::fromStdString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setTextFormat(Qt::PlainText);
    if (style & vb::Information)
        box.setIcon(QMessageBox::Information);
    else if (style & vb::Critical)
        box.setIcon(QMessageBox::Critical);

    if ((style & 7) == vb::RetryCancel) {
        QPushButton* retry = box.addButton(QStringLiteral("&Reintentar"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
        box.setDefaultButton(retry);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == retry ? vb::Retry : vb::Cancel;
    }
    QPushButton* ok = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return vb::OK;
}
