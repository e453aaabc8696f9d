#include "app/messageboxdialogs.h"

#include <QApplication>
#include <QMessageBox>

void MessageBoxDialogs::showMessage(const QString &text) {
    QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
}
