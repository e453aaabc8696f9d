#include "formfixture.h"

#include <QtTest>

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void writereport_data() {
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("one line") << QStringList{"TCP ASCII -> GET /input?PW=&"}
                                  << QStringList{"TCP ASCII -> GET /input?PW=&"};
        QTest::newRow("empty text is an empty line")
            << QStringList{"a", "", "b"} << QStringList{"a", "", "b"};
        QTest::newRow("empty first") << QStringList{""} << QStringList{""};
        QTest::newRow("CR LF inside") << QStringList{"x\r\ny"} << QStringList{"x", "y"};
        QTest::newRow("trailing CR LF") << QStringList{"UDP  <- No Answer from 8513\r\n", "next"}
                                        << QStringList{"UDP  <- No Answer from 8513", "", "next"};
        QTest::newRow("two CR LF") << QStringList{"a\r\nb\r\n\r\n"} << QStringList{"a", "b", "", ""};
        QTest::newRow("kept as written") << QStringList{"  spaced  "} << QStringList{"  spaced  "};
    }
    void writereport() {
        QFETCH(QStringList, written);
        QFETCH(QStringList, lines);
        FormFixture f;
        for (const QString &s : written)
            f->writereport(s);
        QCOMPARE(f->mm_report->lineCount(), lines.size());
        QCOMPARE(f->reportLines(), lines);
        // The same once the event loop has moved the batch into the pane.
        QTRY_COMPARE(f->mm_report->toPlainText(), lines.join('\n'));
        f->writereport("more");
        QCOMPARE(f->reportLines(), lines + QStringList{"more"});
    }

    void nothingWhenUnticked() {
        FormFixture f;
        f->cb_report->setChecked(false);
        f->writereport("hidden");
        QCOMPARE(f->mm_report->lineCount(), 0);
        f->cb_report->setChecked(true);
        f->writereport("shown");
        QCOMPARE(f->reportLines(), QStringList{"shown"});
    }

    void clearReportEmptiesPendingLinesToo() {
        FormFixture f;
        f->writereport("a");
        QTRY_COMPARE(f->mm_report->toPlainText(), QString("a"));
        f->writereport("b"); // still pending
        QTest::mouseClick(f->bt_clearreport, Qt::LeftButton);
        QCOMPARE(f->mm_report->lineCount(), 0);
        f->mm_report->flush(); // what the batch timer would do: nothing pending may come back
        QCOMPARE(f->mm_report->toPlainText(), QString());
        f->writereport("c");
        QCOMPARE(f->reportLines(), QStringList{"c"});
    }

    void autoclear_data() {
        QTest::addColumn<QString>("limit");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("at the limit") << "1000" << 1000 << false;
        QTest::newRow("one above") << "1000" << 1001 << true;
        QTest::newRow("zero, one line") << "0" << 1 << true;
        QTest::newRow("zero, empty") << "0" << 0 << false;
    }
    void autoclear() {
        QFETCH(QString, limit);
        QFETCH(int, lines);
        QFETCH(bool, cleared);
        FormFixture f;
        f->ed_autoclear->setText(limit);
        for (int i = 0; i < lines; ++i)
            f->writereport(QString::number(i));
        QSignalSpy ticks(f->ti_autoclear, &QTimer::timeout);
        f->ti_autoclear->setInterval(1);
        QTRY_VERIFY(ticks.count() >= 1);
        // Cleared whole, never trimmed to the limit.
        QCOMPARE(f->mm_report->lineCount(), cleared ? 0 : lines);
    }

    // Whatever character a device or a user puts into a line, the pane's own
    // count and its lines agree, before and after the batch reaches the widget.
    void everyCharacterCountsAsItShows() {
        FormFixture f;
        qsizetype written = 0;
        for (char32_t u = 1; u <= 0xFFFF; ++u) {
            if (QChar::isSurrogate(u))
                continue;
            f->writereport(QString(QChar(u'a')) + QChar(char16_t(u)) + QChar(u'b'));
            ++written;
        }
        const qsizetype counted = f->mm_report->lineCount();
        // CR, LF and the two Unicode separators break the line in two.
        QCOMPARE(counted, written + 4);
        const QStringList lines = f->reportLines();
        QCOMPARE(lines.size(), counted);
        QCOMPARE(f->mm_report->lineCount(), counted);
        QCOMPARE(f->mm_report->document()->blockCount(), counted);
        QCOMPARE(lines.first(), QString("a\u0001b"));
        QCOMPARE(lines.last(), QString("a\uFFFFb"));
    }

    // A flood never grows the pane past its ceiling, Autoclear ticked or not:
    // the oldest lines go, and what stays is always the newest lines written,
    // in order. One text of more lines than the ceiling keeps its last ones.
    void ceilingDropsTheOldest() {
        FormFixture f;
        f->cb_autoclear->setChecked(false);
        const qsizetype max = ReportPane::maxLines;
        const auto holdsNewest = [&f](qsizetype written) {
            const qsizetype count = f->mm_report->lineCount();
            QVERIFY(count <= ReportPane::maxLines);
            QVERIFY(count >= ReportPane::trimKeep);
            const QStringList lines = f->reportLines();
            QCOMPARE(lines.size(), count);
            for (qsizetype i = 0; i < count; i += 997)
                QCOMPARE(lines[i], QString::number(written - count + i));
            QCOMPARE(lines.last(), QString::number(written - 1));
        };
        qsizetype written = 0;
        for (; written < max + 500; ++written)
            f->writereport(QString::number(written));
        holdsNewest(written); // everything was still pending
        for (int round = 0; round < 3; ++round) {
            for (qsizetype i = 0; i < max / 2; ++i, ++written) {
                f->writereport(QString::number(written));
                if (i % 5000 == 0)
                    QCoreApplication::processEvents(); // batches reach the widget meanwhile
            }
            QVERIFY(f->mm_report->lineCount() <= max);
        }
        holdsNewest(written);

        QString huge;
        for (qsizetype i = 0; i < max + 10; ++i)
            huge += QString::number(i) + "\r\n";
        f->writereport(huge);
        QVERIFY(f->mm_report->lineCount() <= max);
        const QStringList lines = f->reportLines();
        QCOMPARE(lines.size(), f->mm_report->lineCount());
        QCOMPARE(lines.last(), QString());
        QCOMPARE(lines[lines.size() - 2], QString::number(max + 9));
    }

    void autoclearBoxRunsTheTimer() {
        FormFixture f;
        QVERIFY(f->ti_autoclear->isActive());
        QTest::mouseClick(f->cb_autoclear, Qt::LeftButton);
        QVERIFY(!f->ti_autoclear->isActive());
        QTest::mouseClick(f->cb_autoclear, Qt::LeftButton);
        QVERIFY(f->ti_autoclear->isActive());
        QVERIFY(f->ti_autoclear->remainingTime() > 9000); // a full interval again
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
