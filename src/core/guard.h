#pragma once
// The one error guard and the one dialog seam.
//
// Qt must never see an exception: every entry point from Qt (a click, a timer
// tick, a socket event) runs through guard(). An error that escapes a handler
// ends that handler and is shown to the user with its message; the program
// goes on. Message boxes go through Dialogs so that tests can record them
// instead of blocking on a modal loop.
#include <QString>
#include <functional>

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message: uncaught errors, notices, socket states.
    virtual void showMessage(const QString &text) = 0;
};

// The dialog seam in use: what the program installed (a message box, or a
// recorder in tests); stderr while none is installed.
Dialogs &dialogs();
// Installs d (not owned); nullptr restores the stderr fallback.
void setDialogs(Dialogs *d);

// Shows the message of the exception currently being handled. Call from a
// catch block. While one error box is open, further errors open no other box
// (the box is modal, and a failing timer would stack boxes without end).
void showCurrentException() noexcept;

// Runs fn; an error it throws is shown through the dialog seam.
void guard(const std::function<void()> &fn) noexcept;
