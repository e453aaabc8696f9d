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

// Arms a one-shot delay of ms milliseconds, such as an automatic disconnect.
// 0 (or less) means no delay at all is wanted: a timer with interval 0 would
// fire at once and on every pass of the event loop.
inline void armDelay(QTimer *timer, qint32 ms) {
    if (ms <= 0) {
        timer->stop();
        return;
    }
    timer->setInterval(ms);
    enableTimer(timer, true);
}
