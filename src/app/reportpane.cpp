#include "app/reportpane.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

namespace {

// Characters the text widget would take as the end of a line (or would not
// show as written) are normalised here, so that the pane's lines are exactly
// what was counted.
bool needsCleaning(const QString &s) {
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (u == 0 || u == u'\r' || u == u'\n' || u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1)
            return true;
    }
    return false;
}

} // namespace

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
    connect(&m_flushTimer, &QTimer::timeout, this, &ReportPane::onFlushTimer);
}

void ReportPane::appendLine(const QString &text) {
    if (!needsCleaning(text)) {
        m_pending.push_back(text);
    } else {
        // One pass: a NUL would cut the line in the text widget, so it shows
        // as a visible mark; the document's own frame markers must not reach
        // it; CR LF, a lone CR or LF and the two Unicode separators each
        // start a line.
        QString line;
        line.reserve(text.size());
        const qsizetype size = text.size();
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t u = text[i].unicode();
            switch (u) {
            case 0: line += QChar(0x2400); break;
            case 0xFDD0:
            case 0xFDD1: line += QChar(0xFFFD); break;
            case u'\r':
                if (i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                    ++i;
                Q_FALLTHROUGH();
            case u'\n':
            case 0x2028:
            case 0x2029:
                m_pending.push_back(line);
                line.clear();
                // A text of more lines than the pane holds: only its last ones stay.
                if (qsizetype(m_pending.size()) > maxLines)
                    m_pending.pop_front();
                break;
            default: line += QChar(u);
            }
        }
        m_pending.push_back(line);
    }
    // Past the ceiling the oldest lines go. Lines leave the top of the text
    // widget only in bulk: removing lines there costs ~25 us a line, emptying
    // it a few ms, so the widget is emptied and only its newest trimKeep lines
    // go in again with the pending ones.
    const qsizetype shown = shownLines();
    qsizetype excess = shown + qsizetype(m_pending.size()) - maxLines;
    if (excess > 0 && shown > 0) {
        const qsizetype drop = shown - qMin(shown - qMin(excess, shown), trimKeep);
        m_dropShown += drop;
        excess -= drop;
    }
    for (; excess > 0; --excess)
        m_pending.pop_front();
    if (!m_flushTimer.isActive())
        m_flushTimer.start(flushInterval);
}

qsizetype ReportPane::shownLines() const {
    return m_docHasLines ? document()->blockCount() - m_dropShown : 0;
}

qsizetype ReportPane::lineCount() const { return shownLines() + qsizetype(m_pending.size()); }

void ReportPane::onFlushTimer() {
    flushSome(flushBatch);
    // More than one batch was waiting: the rest follows on the next pass.
    if (!m_pending.empty())
        m_flushTimer.start(0);
}

void ReportPane::flush() {
    m_flushTimer.stop();
    flushSome(maxLines);
}

void ReportPane::flushSome(qsizetype count) {
    if (m_pending.empty())
        return; // a drop is always followed by pending lines
    if (m_dropShown > 0) {
        // The widget's lines that are kept move back into the queue, in order,
        // and the widget starts empty.
        qsizetype keep = document()->blockCount() - m_dropShown;
        for (QTextBlock b = document()->lastBlock(); keep > 0 && b.isValid(); b = b.previous(), --keep)
            m_pending.push_front(b.text());
        m_dropShown = 0;
        m_docHasLines = false;
        clear();
    }
    const qsizetype n = qMin(count, qsizetype(m_pending.size()));
    qsizetype size = n;
    for (qsizetype i = 0; i < n; ++i)
        size += m_pending[size_t(i)].size();
    QString batch;
    batch.reserve(size);
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0)
            batch += QLatin1Char('\n');
        batch += m_pending.front();
        m_pending.pop_front();
    }
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const int hpos = horizontalScrollBar()->value();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    // The empty document already holds one empty block: the first line goes
    // into it, every later batch starts a block of its own.
    if (m_docHasLines)
        cursor.insertBlock();
    cursor.insertText(batch);
    cursor.endEditBlock();
    m_docHasLines = true;
    // Follow the end like a monitor, unless the user scrolled back to read.
    if (atEnd)
        bar->setValue(bar->maximum());
    horizontalScrollBar()->setValue(hpos);
}

QStringList ReportPane::lines() {
    flush();
    QStringList out;
    if (!m_docHasLines)
        return out;
    out.reserve(document()->blockCount());
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        out << b.text();
    return out;
}

void ReportPane::clearAll() {
    m_flushTimer.stop();
    m_pending.clear();
    m_dropShown = 0;
    m_docHasLines = false;
    clear();
}
