// Throughput of writereport into the live report pane, offscreen.
//
// Writes report lines as a channel does at millisecond polling (several lines
// per pass of the event loop) and lets the event loop run between passes, so
// the figure includes moving the batches into the text widget. For comparison
// it also times appending one line at a time straight to the text widget.
#include "core/guard.h"
#include "app/tform1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int total = argc > 1 ? atoi(argv[1]) : 200000;
    const int perPass = qMax(1, argc > 2 ? atoi(argv[2]) : 5);
    QTemporaryDir dir;
    TForm1 form(dir.path() + QLatin1Char('/'));
    form.cb_autoclear->setChecked(false);
    form.show();
    QApplication::processEvents();

    const QString line =
        QStringLiteral("TCP ASCII <- input;0003;output;0001;counter;12;0;7;0;0;0;0;0;0;0;0;0");
    QElapsedTimer clock;
    clock.start();
    for (int written = 0; written < total;) {
        for (int j = 0; j < perPass && written < total; ++j, ++written)
            form.writereport(line);
        QApplication::processEvents();
    }
    form.mm_report->flush();
    QApplication::processEvents();
    const double batched = clock.nsecsElapsed() / 1e9;
    // The pane keeps at most its ceiling of lines; the oldest beyond it are dropped.
    const qsizetype kept = form.mm_report->lineCount();
    const bool allKept = total <= ReportPane::maxLines;
    if ((allKept ? kept != total : kept > ReportPane::maxLines || kept < ReportPane::trimKeep) ||
        form.mm_report->document()->blockCount() != kept) {
        std::fprintf(stderr, "line count mismatch: %lld\n",
                     static_cast<long long>(form.mm_report->lineCount()));
        return 1;
    }
    std::printf("writereport, batched: %d lines in %.3f s = %.0f lines/s (%d lines per event-loop pass), "
                "%lld kept\n",
                total, batched, total / batched, perPass, static_cast<long long>(kept));

    form.clearReport();
    QApplication::processEvents();
    const int direct = qMin(total, 50000);
    clock.restart();
    for (int i = 0; i < direct; i += perPass) {
        for (int j = 0; j < perPass; ++j)
            form.mm_report->appendPlainText(line);
        QApplication::processEvents();
    }
    const double single = clock.nsecsElapsed() / 1e9;
    std::printf("appendPlainText, one line at a time: %d lines in %.3f s = %.0f lines/s\n", direct, single,
                direct / single);
    return 0;
}
