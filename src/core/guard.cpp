#include "core/guard.h"

#include "core/errors.h"

#include <cstdio>
#include <exception>

namespace {

// Until the window installs its message box (and in programs without one),
// messages go to stderr: the ground has no widgets.
class StderrDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

Dialogs *installed = nullptr;

} // namespace

Dialogs &dialogs() {
    static StderrDialogs fallback;
    return installed ? *installed : fallback;
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
