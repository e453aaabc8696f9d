#pragma once
// The report pane: the protocol monitor's text area.
//
// Channels may write several lines per frame at millisecond polling rates.
// Every insertion into a text widget costs a fixed ~75 us (layout, scroll
// range, repaint) on top of ~2.5 us per line, so appending line by line, or
// even once per pass of the event loop at 1 ms polling, tops out far below
// what a fast device produces. Lines are therefore collected and moved into
// the widget in one insertion at most every flushInterval ms, about the rate
// at which a person can see the pane change anyway. The batching is
// invisible: every reader (lineCount, lines, clearAll) first flushes what is
// pending, so it sees exactly the lines written, in order.
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

class ReportPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ReportPane(QWidget *parent);

    // Appends text as a new line; CR LF inside it (and a lone CR or LF) starts
    // a further line, so a text ending in CR LF is followed by an empty line.
    void appendLine(const QString &text);
    // Number of text lines the pane holds.
    qsizetype lineCount() const { return m_lines; }
    // The lines the pane holds, in order.
    QStringList lines();
    // Empties the pane, pending lines included.
    void clearAll();
    // Moves pending lines into the text widget now.
    void flush();

    static constexpr int flushInterval = 25;      // ms
    static constexpr int maxPendingLines = 20000; // flushed at once beyond this

private:
    QString m_pending;
    QTimer m_flushTimer;
    qsizetype m_pendingLines = 0; // lines in m_pending; 0 when nothing is pending
    bool m_docHasLines = false;
    qsizetype m_lines = 0;
};
