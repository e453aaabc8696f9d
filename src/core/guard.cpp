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

// An error box is modal: while it is open the event loop runs inside it, so a
// timer whose handler fails on every tick (an emptied interval field) would
// open a box inside the box, without end. One error box at a time; an error
// raised while it is open ends its handler as always but opens no box.
bool errorBoxOpen = false;

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
    if (errorBoxOpen)
        return;
    errorBoxOpen = true;
    try {
        dialogs().showMessage(text);
    } catch (...) {
        // A failing dialog must not take the program down either.
    }
    errorBoxOpen = false;
}

void guard(const std::function<void()> &fn) noexcept {
    try {
        fn();
    } catch (...) {
        showCurrentException();
    }
}
