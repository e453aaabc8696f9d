#include "app/reportpane.h"

#include <QFontDatabase>
#include <QScrollBar>

ReportPane::ReportPane(QWidget *parent) : QPlainTextEdit(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The pane is a monitor: the user reads and copies, but does not type, so
    // the line count is always the count of lines written.
    setReadOnly(true);
    setUndoRedoEnabled(false);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(flushInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &ReportPane::flush);
}

void ReportPane::appendLine(const QString &text) {
    QString line = text;
    // A NUL would cut the line in the text widget; show it as a visible mark.
    if (line.contains(QChar(0)))
        line.replace(QChar(0), QChar(0x2400));
    if (line.contains(QLatin1Char('\r'))) {
        line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    const qsizetype added = line.count(QLatin1Char('\n')) + 1;
    if (m_pendingLines > 0)
        m_pending += QLatin1Char('\n');
    m_pending += line;
    m_lines += added;
    m_pendingLines += added;
    if (m_pendingLines >= maxPendingLines)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ReportPane::flush() {
    m_flushTimer.stop();
    if (m_pendingLines == 0)
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const int hpos = horizontalScrollBar()->value();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // The empty document already holds one empty block: the first line goes
    // into it, every later batch starts a block of its own.
    if (m_docHasLines)
        cursor.insertBlock();
    cursor.insertText(m_pending);
    cursor.endEditBlock();
    m_docHasLines = true;
    m_pending.clear();
    m_pendingLines = 0;
    // Follow the end like a monitor, unless the user scrolled back to read.
    if (atEnd)
        bar->setValue(bar->maximum());
    horizontalScrollBar()->setValue(hpos);
}

QStringList ReportPane::lines() {
    flush();
    if (m_lines == 0)
        return {};
    return toPlainText().split(QLatin1Char('\n'));
}

void ReportPane::clearAll() {
    m_flushTimer.stop();
    m_pending.clear();
    m_pendingLines = 0;
    m_lines = 0;
    m_docHasLines = false;
    clear();
}
