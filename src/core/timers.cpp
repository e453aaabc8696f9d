#include "core/timers.h"

#include "core/errors.h"
#include "core/helpers.h"

namespace {

// A timer at interval 0 is on but must not run as a QTimer, so that it is on
// is kept beside it. Otherwise the QTimer's own state is the truth, so code
// that calls start() or stop() directly stays consistent with the model.
constexpr char enabledProperty[] = "korvoTimerEnabled";

void apply(QTimer *timer, bool on) {
    timer->setProperty(enabledProperty, on);
    if (!on || timer->interval() <= 0)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

} // namespace

bool timerEnabled(const QTimer *timer) {
    if (timer->isActive())
        return true;
    return timer->interval() == 0 && timer->property(enabledProperty).toBool();
}

void enableTimer(QTimer *timer, bool on) { apply(timer, on); }

void setTimerInterval(QTimer *timer, int ms) {
    ms = qMax(0, ms);
    if (ms == timer->interval())
        return;
    const bool on = timerEnabled(timer);
    // QTimer::setInterval restarts an active timer with the new interval.
    timer->setInterval(ms);
    apply(timer, on);
}

int intervalOf(const QString &text) {
    const qint32 ms = strToInt(text);
    if (ms < 0)
        throw EConvertError(convertErrorText(text));
    return ms;
}

void setTimerIntervalText(QTimer *timer, const QString &text) { setTimerInterval(timer, intervalOf(text)); }
