#include "config/configfile.h"
#include "config/windowconfig.h"
#include "configfixture.h"

#include <QDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file a fresh window writes.
const QStringList defaultLines = {
    "hardcfg:0",
    "onlyio:0",
    "toppos:81",
    "leftpos:59",
    "ip:",
    "httpport:80",
    "password:",
    "device:-1",
    "mode:0",
    "getall:1",
    "getallinterval:200",
    "getinputs:0",
    "getinputsinterval:200",
    "getoutputs:0",
    "getoutputsinterval:200",
    "getcounter:0",
    "getcounterinterval:200",
    "getcounterclear:0",
    "getcounterclearinterval:200",
    "setoutput:0",
    "setoutputinterval:200",
    "resetoutputinterval:200",
    "setoutputstate:0FFF",
    "setoutputmask:",
    "resetoutputstate:0000",
    "resetoutputmask:",
    "goround:0",
    "goroundinterval:200",
    "tcpasciiport:80",
    "reconnect:1",
    "udplocalport:8500",
    "udpremoteport:42279",
    "localserverport:80",
    "disconnectserver:0",
    "disconnectservertime:200",
    "tcpbinport:49153",
    "reconnectbin:1",
    "udplocalportbin:45889",
    "udpremoteportbin:45889",
    "localserverportbin:49153",
    "disconnectserverbin:0",
    "disconnectservertimebin:200",
    "tcpmodbusport:502",
    "reconnectmodbus:1",
    "udplocalportsnmp:8510",
    "udpremoteportsnmp:161",
    "viernull:0",
    "report:1",
    "autoclear:1",
    "autoclearlines:1000",
};

// Every key with a value other than its default, except the two whose other
// value would stop the file from being written ("hardcfg") or is never
// written ("onlyio").
const QStringList changedLines = {
    "hardcfg:0",
    "onlyio:0",
    "toppos:90",
    "leftpos:120",
    "ip:127.0.0.1",
    "httpport:8080",
    "password:ab:cd ä€\u00A0x",
    "device:5",
    "mode:7",
    "getall:0",
    "getallinterval:1000",
    "getinputs:1",
    "getinputsinterval:1001",
    "getoutputs:1",
    "getoutputsinterval:1002",
    "getcounter:1",
    "getcounterinterval:1003",
    "getcounterclear:1",
    "getcounterclearinterval:1004",
    "setoutput:1",
    "setoutputinterval:1005",
    "resetoutputinterval:1006",
    "setoutputstate:00F0",
    "setoutputmask:0F0F",
    "resetoutputstate:FFFF",
    "resetoutputmask:F0F0",
    "goround:1",
    "goroundinterval:1007",
    "tcpasciiport:42280",
    "reconnect:0",
    "udplocalport:8501",
    "udpremoteport:42278",
    "localserverport:8080",
    "disconnectserver:1",
    "disconnectservertime:300",
    "tcpbinport:50000",
    "reconnectbin:0",
    "udplocalportbin:45891",
    "udpremoteportbin:45892",
    "localserverportbin:59153",
    "disconnectserverbin:1",
    "disconnectservertimebin:400",
    "tcpmodbusport:1502",
    "reconnectmodbus:0",
    "udplocalportsnmp:8540",
    "udpremoteportsnmp:1161",
    "viernull:1",
    "report:0",
    "autoclear:0",
    "autoclearlines:500",
};

QByteArray fileOf(const QStringList &lines) { return (lines.join("\r\n") + "\r\n").toUtf8(); }

// The default lines with some of them replaced, each "key:value".
QStringList defaultsWith(const QStringList &changes) {
    QStringList lines = defaultLines;
    for (const QString &change : changes) {
        const QString key = change.section(':', 0, 0) + ':';
        for (QString &line : lines)
            if (line.startsWith(key))
                line = change;
    }
    return lines;
}

QStringList settingsOf(TForm1 &w) {
    cfgtomemo(w);
    return memoLines(w.mm_config);
}

// Reads the settings of a file into a window that is already up (without
// the start-up, which would start identification at a configured address),
// then sets up the mode as start-up does.
void applyFile(TForm1 &w, const QByteArray &bytes) {
    setMemoLines(w.mm_config, configFileLines(bytes));
    cfgfrommemo(w);
    w.co_modeChange();
}

int fileMode(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// Makes the executable's folder one that the program cannot write, for as
// long as it lives. The superuser writes everywhere, so a test run as root
// gives up its rights for that time (the saved user id takes them back).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString &dir) : m_dir(QFile::encodeName(dir)) {
        ::chmod(m_dir.constData(), 0500);
        if (::geteuid() == 0)
            m_wasRoot = ::seteuid(65534) == 0;
    }
    ~ReadOnlyFolder() {
        if (m_wasRoot)
            (void)::seteuid(0);
        ::chmod(m_dir.constData(), 0700);
    }

private:
    QByteArray m_dir;
    bool m_wasRoot = false;
};

// A disk that is full after a few bytes of any file written, for as long as
// it lives.
class FullDisk {
public:
    FullDisk() {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{16, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class TestWindowConfig : public QObject {
    Q_OBJECT
private slots:
    void freshWindowWritesTheDefaults() {
        ConfigFixture f;
        f.start();
        QVERIFY(f.close());
        QCOMPARE(f.readFile("defaulswt.cfg"), fileOf(defaultLines));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void everySettingSurvivesARestart() {
        ConfigFixture f;
        TForm1 &w = f.start();
        w.move(120, 90);
        pickMode(w, 7);
        pickDevice(w, 5);
        w.ed_ip->setText("127.0.0.1");
        w.ed_httpport->setText("8080");
        w.ed_password->setText("ab:cd ä€\u00A0x");
        const std::pair<QCheckBox *, bool> checks[] = {{w.cb_autoall, false},
                                                       {w.cb_autoinputs, true},
                                                       {w.cb_autooutputs, true},
                                                       {w.cb_autocounter, true},
                                                       {w.cb_autocounterclear, true},
                                                       {w.cb_autoset, true},
                                                       {w.cb_autogoround, true},
                                                       {w.cb_reconnect, false},
                                                       {w.cb_disconnectserver, true},
                                                       {w.cb_reconnectbin, false},
                                                       {w.cb_disconnectserverbin, true},
                                                       {w.cb_reconnectmodbus, false},
                                                       {w.cb_viernull, true},
                                                       {w.cb_report, false},
                                                       {w.cb_autoclear, false}};
        for (const auto &[box, ticked] : checks)
            box->setChecked(ticked);
        const std::pair<QLineEdit *, const char *> edits[] = {{w.ed_intervalall, "1000"},
                                                              {w.ed_intervalinputs, "1001"},
                                                              {w.ed_intervaloutputs, "1002"},
                                                              {w.ed_intervalcounter, "1003"},
                                                              {w.ed_intervalcounterclear, "1004"},
                                                              {w.ed_intervalset, "1005"},
                                                              {w.ed_intervalreset, "1006"},
                                                              {w.ed_setstate, "00F0"},
                                                              {w.ed_setmask, "0F0F"},
                                                              {w.ed_resetstate, "FFFF"},
                                                              {w.ed_resetmask, "F0F0"},
                                                              {w.ed_autogoround, "1007"},
                                                              {w.ed_tcpasciiport, "42280"},
                                                              {w.ed_udplocalport, "8501"},
                                                              {w.ed_udpremoteport, "42278"},
                                                              {w.ed_localserverport, "8080"},
                                                              {w.ed_disconnectservertime, "300"},
                                                              {w.ed_disconnectservertimebin, "400"},
                                                              {w.ed_tcpmodbusport, "1502"},
                                                              {w.ed_udpremoteportsnmp, "1161"},
                                                              {w.ed_autoclear, "500"}};
        for (const auto &[edit, text] : edits)
            edit->setText(text);
        typeInto(w.co_tcpbinport, "50000");
        w.co_udplocalportbin->setCurrentIndex(2);
        w.co_udpremoteportbin->setCurrentIndex(3);
        w.co_localserverportbin->setCurrentIndex(4);
        w.co_udplocalportsnmp->setCurrentIndex(4);
        QVERIFY(f.close());
        const QByteArray saved = f.readFile("defaulswt.cfg");
        QCOMPARE(saved, fileOf(changedLines));

        // Read back into a new window.
        QVERIFY(QFile::remove(f.path("defaulswt.cfg")));
        TForm1 &v = f.start();
        applyFile(v, saved);
        QCOMPARE(settingsOf(v), changedLines);
        QCOMPARE(v.pos(), QPoint(120, 90));
        QCOMPARE(v.ed_password->text(), QString("ab:cd ä€\u00A0x"));
        QCOMPARE(v.co_device->currentText(), deviceTypeCaptions()[5]);
        QCOMPARE(v.currentMode, quint16(modeBinaryUdp));
        QCOMPARE(v.co_tcpbinport->currentText(), QString("50000"));
        QVERIFY(!v.ti_autoclear->isActive());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void applying_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("changes"); // the settings afterwards: the defaults with these
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("mode"); // currentMode after the mode switch
        const QStringList none;
        QTest::newRow("mode only") << QByteArray("mode:8\r\n") << QStringList{"mode:8"} << none << 8;
        QTest::newRow("empty ip keeps the address")
            << QByteArray("ip:127.0.0.1\r\nip:\r\n") << QStringList{"ip:127.0.0.1"} << none << 0;
        QTest::newRow("only 1 ticks")
            << QByteArray("getall:true\r\nreport:1\r\n") << QStringList{"getall:0"} << none << 0;
        QTest::newRow("keys have case") << QByteArray("Mode:3\r\n") << none << none << 0;
        QTest::newRow("device type") << QByteArray("device:3\r\n") << QStringList{"device:3"} << none << 0;
        QTest::newRow("device beyond the types") << QByteArray("device:12\r\n") << none << none << 0;
        QTest::newRow("device type, then none")
            << QByteArray("device:3\r\ndevice:-1\r\n") << none << none << 0;
        QTest::newRow("mode beyond the modes")
            << QByteArray("mode:12\r\n") << QStringList{"mode:-1"} << none << int(noMode);
        QTest::newRow("no mode") << QByteArray("mode:-1\r\n") << QStringList{"mode:-1"} << none
                                 << int(noMode);
        QTest::newRow("hardcfg") << QByteArray("hardcfg:1\r\n") << QStringList{"hardcfg:1"} << none << 0;
        QTest::newRow("known key without colon")
            << QByteArray("getall\r\n") << none
            << QStringList{"Listenindex außerhalb des gültigen Bereichs (1)"} << 0;
        QTest::newRow("a bad line keeps every later one")
            << QByteArray("getinputs:1\r\nmode:x\r\ngetoutputs:1\r\nmode:4\r\nhardcfg:1\r\n")
            << QStringList{"getinputs:1", "getoutputs:1", "mode:4", "hardcfg:1"}
            << QStringList{"'x' ist kein gültiger Integerwert"} << 4;
        QTest::newRow("each bad line is shown")
            << QByteArray("toppos:high\r\nleftpos\r\nmode:2\r\n") << QStringList{"mode:2"}
            << QStringList{"'high' ist kein gültiger Integerwert",
                           "Listenindex außerhalb des gültigen Bereichs (1)"}
            << 2;
        QTest::newRow("password with colons")
            << QByteArray("password:ab:cd\r\n") << QStringList{"password:ab:cd"} << none << 0;
        QTest::newRow("LF only, byte-order mark")
            << QByteArray("\xEF\xBB\xBFmode:4\ngetall:0\n") << QStringList{"mode:4", "getall:0"} << none << 4;
        QTest::newRow("Latin-1") << QByteArray("password:gr\xFC\xDF\r\n") << QStringList{"password:grüß"}
                                 << none << 0;
        QTest::newRow("window position") << QByteArray("toppos:100\r\nleftpos:200\r\n")
                                         << QStringList{"toppos:100", "leftpos:200"} << none << 0;
        QTest::newRow("position on no screen")
            << QByteArray("toppos:-5000\r\nleftpos:200\r\n") << none << none << 0;
        QTest::newRow("unknown and empty lines")
            << QByteArray("\r\ncolour:red\r\nonlyio:1\r\nhttpport:81\r\n") << QStringList{"httpport:81"}
            << none << 0;
        QTest::newRow("empty file") << QByteArray() << none << none << 0;
    }
    void applying() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, changes);
        QFETCH(QStringList, messages);
        QFETCH(int, mode);
        FormFixture f;
        TForm1 &w = f.form();
        applyFile(w, file);
        QCOMPARE(f.dialogs.messages, messages);
        QCOMPARE(int(w.currentMode), mode);
        QCOMPARE(settingsOf(w), defaultsWith(changes));
        QCOMPARE(w.co_device->currentText(),
                 file.startsWith("device:3") ? QString("6In/6Out") : QString("2In/2Out"));
        QCOMPARE(w.lastInput, quint16(0)); // a type read from the file is only selected, not applied
    }

    // The start-up reads the file and sets up the mode it names; a bad line
    // is shown, the window comes up, and the save at exit keeps the lines
    // after it.
    void startUpWithABadLine() {
        ConfigFixture f;
        f.writeFile("defaulswt.cfg", "getinputs:1\r\ndevice:x\r\ngetoutputs:1\r\nmode:3\r\n");
        TForm1 &w = f.start();
        QCOMPARE(f.dialogs.messages, QStringList{"'x' ist kein gültiger Integerwert"});
        QCOMPARE(w.currentMode, quint16(modeTcpServer));
        QVERIFY(w.bt_listen->isVisibleTo(&w));
        QVERIFY(f.close());
        QCOMPARE(f.readFile("defaulswt.cfg"),
                 fileOf(defaultsWith({"getinputs:1", "getoutputs:1", "mode:3"})));
    }

    void commandLineFile() {
        ConfigFixture f;
        const QByteArray bench = "mode:3\r\ngetall:0\r\n";
        f.writeFile("bench.cfg", bench);
        TForm1 &w = f.start({"bench.cfg"});
        QCOMPARE(w.currentMode, quint16(modeTcpServer));
        QVERIFY(!w.cb_autoall->isChecked());
        QVERIFY(f.close());
        QCOMPARE(f.readFile("bench.cfg"), bench);
        QCOMPARE(f.readFile("defaulswt.cfg"), fileOf(defaultsWith({"mode:3", "getall:0"})));
    }

    // What is no settings file is not read: a folder, or something far larger
    // than the 50 lines (a log named by mistake, a device file).
    void noSettingsFile_data() {
        QTest::addColumn<bool>("folder");
        QTest::newRow("a folder") << true;
        QTest::newRow("larger than 1 MiB") << false;
    }
    void noSettingsFile() {
        QFETCH(bool, folder);
        ConfigFixture f;
        if (folder)
            QVERIFY(QDir(f.exeDir()).mkdir("sub.cfg"));
        else
            f.writeFile("sub.cfg", QByteArray("mode:3\r\n").repeated(150000));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^The settings file .*sub\\.cfg .*the defaults stay\\.$"));
        TForm1 &w = f.start({"sub.cfg"});
        QCOMPARE(w.currentMode, quint16(modeHttp));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void hardConfigIsNeverWritten() {
        ConfigFixture f;
        const QByteArray old = "mode:2\nhardcfg:1\n";
        f.writeFile("defaulswt.cfg", old);
        TForm1 &w = f.start();
        QVERIFY(w.hardConfig);
        w.ed_password->setText("changed");
        pickMode(w, 4);
        QVERIFY(f.close());
        QCOMPARE(f.readFile("defaulswt.cfg"), old);
    }

    // "Autoclear" from the file runs its click handler already at start-up.
    void autoclearRunsItsHandler() {
        ConfigFixture f;
        f.writeFile("defaulswt.cfg", "autoclear:0\r\n");
        TForm1 &w = f.start();
        QVERIFY(!w.ti_autoclear->isActive());
        applyFile(w, "autoclear:1\r\n");
        QVERIFY(w.ti_autoclear->isActive());
    }

    void intervalKeyRetimesItsTimer() {
        ConfigFixture f;
        f.writeFile("defaulswt.cfg",
                    "getallinterval:500\r\ngetinputsinterval:501\r\ngetoutputsinterval:502\r\n"
                    "getcounterinterval:503\r\ngetcounterclearinterval:504\r\n"
                    "goroundinterval:505\r\n");
        TForm1 &w = f.start();
        QCOMPARE(w.ti_intervalall->interval(), 500);
        QCOMPARE(w.ti_intervalinputs->interval(), 501);
        QCOMPARE(w.ti_intervalOutputs->interval(), 502);
        QCOMPARE(w.ti_intervalcounter->interval(), 503);
        QCOMPARE(w.ti_intervalcounterclear->interval(), 504);
        QCOMPARE(w.ti_goround->interval(), 505);
    }

    // The file holds the device password: only its owner may read it, also
    // when an older file was readable by all.
    void onlyTheOwnerReadsTheFile() {
        ConfigFixture f;
        f.writeFile("defaulswt.cfg", "mode:2\r\n");
        QFile::setPermissions(f.path("defaulswt.cfg"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        f.start();
        QVERIFY(f.close());
        QCOMPARE(fileMode(f.path("defaulswt.cfg")), 0600);
        QCOMPARE(QDir(f.exeDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"defaulswt.cfg"});
    }

    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("folder not writable") << false;
        QTest::newRow("disk full while writing") << true;
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(bool, fullDisk);
        ConfigFixture f;
        const QByteArray old = fileOf(defaultsWith({"mode:2", "password:secret"}));
        f.writeFile("defaulswt.cfg", old);
        TForm1 &w = f.start();
        w.ed_password->setText("changed");
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^The settings were not saved to .*defaulswt\\.cfg: "));
        bool closed = false;
        if (fullDisk) {
            FullDisk full;
            closed = f.close();
        } else {
            ReadOnlyFolder readOnly(f.exeDir());
            closed = f.close();
        }
        QVERIFY(closed);
        QVERIFY(!w.isVisible());
        QCOMPARE(f.readFile("defaulswt.cfg"), old);
        QCOMPARE(QDir(f.exeDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"defaulswt.cfg"});
    }
};

QTEST_MAIN(TestWindowConfig)
#include "tst_windowconfig.moc"
