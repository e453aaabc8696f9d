#pragma once
// The report pane: the protocol monitor's text area.
//
// Channels may write several lines per frame at millisecond polling rates,
// and a flooding device far more. Every insertion into a text widget costs a
// fixed ~75 us (layout, scroll range, repaint) on top of ~2.5 us per line, so
// appending line by line, or even once per pass of the event loop at 1 ms
// polling, tops out far below what a fast device produces. Lines are
// therefore collected and moved into the widget at most every flushInterval
// ms, about the rate at which a person can see the pane change anyway, and at
// most flushBatch lines at a time, so that no single insertion holds up the
// window; what is left goes in on the next passes of the event loop.
//
// The pane never holds more than maxLines lines, shown and pending together:
// past that the oldest lines are dropped (from the widget in bulk, keeping its
// newest trimKeep lines), so a device that floods the monitor cannot exhaust
// memory, whether or not Autoclear is ticked.
//
// The batching is invisible: lineCount counts pending lines too, and lines
// flushes first, so a reader sees exactly the lines written, in order.
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <deque>

class ReportPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ReportPane(QWidget *parent);

    // Appends text as a new line; CR LF inside it (and a lone CR or LF, or a
    // Unicode line or paragraph separator) starts a further line, so a text
    // ending in CR LF is followed by an empty line.
    void appendLine(const QString &text);
    // Number of text lines the pane holds (never above maxLines).
    qsizetype lineCount() const;
    // The lines the pane holds, in order.
    QStringList lines();
    // Empties the pane, pending lines included.
    void clearAll();
    // Moves every pending line into the text widget now.
    void flush();

    static constexpr int flushInterval = 25;      // ms
    static constexpr qsizetype flushBatch = 4000; // lines per insertion, ~10 ms
    static constexpr qsizetype maxLines = 100000; // the ceiling, shown and pending
    static constexpr qsizetype trimKeep = 2000;   // newest lines kept when the widget is emptied

private:
    void flushSome(qsizetype count);
    qsizetype shownLines() const;
    void onFlushTimer();

    std::deque<QString> m_pending; // one line each
    QTimer m_flushTimer;
    qsizetype m_dropShown = 0; // oldest lines of the widget that are already gone
    bool m_docHasLines = false;
};
