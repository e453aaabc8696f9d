#pragma once
#include <QTimer>

// Switches a timer on or off. Enabling a timer that already runs does not
// restart its interval: the first tick stays where it was.
inline void enableTimer(QTimer *timer, bool on) {
    if (!on)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}
