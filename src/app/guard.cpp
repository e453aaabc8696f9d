#include "app/guard.h"

#include "app/errors.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

namespace {

class MessageBoxDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override {
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
    }
};

Dialogs *installed = nullptr;

} // namespace

Dialogs &dialogs() {
    static MessageBoxDialogs messageBox;
    return installed ? *installed : messageBox;
}

void setDialogs(Dialogs *d) { installed = d; }

void showCurrentException() noexcept {
    QString text;
    try {
        throw;
    } catch (const KError &e) {
        text = e.message();
    } catch (const std::exception &e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    try {
        dialogs().showMessage(text);
    } catch (...) {
        // A failing dialog must not take the program down either.
    }
}

void guard(const std::function<void()> &fn) noexcept {
    try {
        fn();
    } catch (...) {
        showCurrentException();
    }
}
