#pragma once
// The window's timers follow one model, not QTimer's own: a timer is switched
// on or off (enableTimer) and has an interval in milliseconds
// (setTimerInterval); it ticks while it is on and its interval is above 0.
//
// - An interval of 0 means no ticks at all. A QTimer started with 0 ms would
//   fire on every pass of the event loop and flood the device and the window;
//   here the timer stays switched on but silent until a non-zero interval is
//   set, and then ticks again.
// - Setting the interval a timer already has does not restart its count.
// - Switching on a timer that already runs does not restart its count.
// - A negative interval is no interval: the conversion of its text fails.
#include <QString>
#include <QTimer>

// Switches a timer on or off. Enabling a timer that already runs does not
// restart its interval: the first tick stays where it was.
void enableTimer(QTimer *timer, bool on);
// Whether the timer is switched on (it may be silent at interval 0).
bool timerEnabled(const QTimer *timer);
// Makes ms the timer's interval; a different value restarts the count of a
// timer that is on, 0 silences it. Negative values are taken as 0.
void setTimerInterval(QTimer *timer, int ms);
// The interval as a strict decimal text (see strToInt). A text that does not
// convert, or a negative number, throws EConvertError and leaves the timer as
// it was.
void setTimerIntervalText(QTimer *timer, const QString &text);
// The strict decimal milliseconds of text; throws EConvertError for a text
// that does not convert or is negative.
int intervalOf(const QString &text);

// Arms a one-shot delay of ms milliseconds, such as an automatic disconnect.
// 0 (or less) means no delay at all is wanted.
inline void armDelay(QTimer *timer, qint32 ms) {
    if (ms <= 0) {
        enableTimer(timer, false);
        return;
    }
    setTimerInterval(timer, ms);
    enableTimer(timer, true);
}
