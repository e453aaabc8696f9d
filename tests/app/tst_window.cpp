#include "app/keyfilter.h"
#include "formfixture.h"

#include <QAbstractItemView>
#include <QtTest>

namespace {

// Every control that belongs to a single mode.
QStringList modeSpecificNames() {
    return {"pa_settime",
            "bt_httpstart",
            "bt_reststart",
            "bt_connect",
            "cb_reconnect",
            "ed_tcpasciiport",
            "lb_port",
            "bt_listen",
            "ed_localserverport",
            "lb_localportasciiserver",
            "cb_disconnectserver",
            "ed_disconnectservertime",
            "lb_autodisconnectascii",
            "lb_msascii",
            "bt_bind",
            "ed_udplocalport",
            "ed_udpremoteport",
            "lb_remoteport",
            "pa_option",
            "bt_connect_bin",
            "cb_reconnectbin",
            "co_tcpbinport",
            "bt_listenbin",
            "co_localserverportbin",
            "cb_disconnectserverbin",
            "ed_disconnectservertimebin",
            "bt_bindbin",
            "co_udplocalportbin",
            "co_udpremoteportbin",
            "bt_connectmodbus",
            "cb_reconnectmodbus",
            "ed_tcpmodbusport",
            "bt_bindsnmp",
            "co_udplocalportsnmp",
            "ed_udpremoteportsnmp",
            "cb_viernull"};
}

QWidget *control(TForm1 &form, const QString &name) {
    if (name == "lb_port")
        return form.lb_port;
    if (name == "lb_localportasciiserver")
        return form.lb_localportasciiserver;
    if (name == "lb_remoteport")
        return form.lb_remoteport;
    if (name == "lb_autodisconnectascii")
        return form.lb_autodisconnectascii;
    if (name == "lb_msascii")
        return form.lb_msascii;
    auto *w = form.findChild<QWidget *>(name);
    Q_ASSERT_X(w, "control", qPrintable(name));
    return w;
}

int visibleCount(TForm1 &form, const auto &controls) {
    int n = 0;
    for (QWidget *w : controls)
        if (w && w->isVisibleTo(&form))
            ++n;
    return n;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void startsWithDefaults() {
        FormFixture f;
        TForm1 &w = f.form();
        QCOMPARE(w.windowTitle(), QString("Korvo 4.0 Multi Tool"));
        QCOMPARE(w.size(), QSize(653, 615));
        QCOMPARE(w.pos(), QPoint(59, 81));
        QCOMPARE(w.co_mode->currentText(), QString("HTTP"));
        QCOMPARE(w.currentMode, quint16(0));
        QCOMPARE(w.co_device->currentText(), QString("2In/2Out"));
        QCOMPARE(w.lastInput, quint16(0)); // no type applied yet
        QCOMPARE(w.allOutputsMask, QString("FFFF"));
        QCOMPARE(w.co_mode->count(), 10);
        QCOMPARE(w.co_mode->itemText(2), QString("TCP Client "));
        QCOMPARE(w.co_device->itemText(11), QString("UNKOWN"));
        QCOMPARE(visibleCount(w, w.display->inputLamps), 16);
        QCOMPARE(visibleCount(w, w.display->outputLamps), 16);
        QCOMPARE(visibleCount(w, w.display->counterFields), 16);
        QCOMPARE(w.display->counterFields[15]->text(), QString("0"));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        QVERIFY(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4},\\d\\d:\\d\\d:\\d\\d$")
                    .match(w.ed_settime->text())
                    .hasMatch());
        // A few defaults of each kind of control.
        QCOMPARE(w.ed_httpport->text(), QString("80"));
        QCOMPARE(w.ed_udpremoteport->text(), QString("42279"));
        QCOMPARE(w.co_localserverportbin->count(), 8);
        QCOMPARE(w.co_udplocalportsnmp->currentText(), QString("8510"));
        QCOMPARE(w.ed_setstate->text(), QString("0FFF"));
        QCOMPARE(w.ed_resetstate->text(), QString("0000"));
        QVERIFY(w.cb_autoall->isChecked());
        QVERIFY(!w.cb_autoinputs->isChecked());
        QVERIFY(w.cb_reconnect->isChecked());
        QVERIFY(!w.cb_disconnectserver->isChecked());
        QVERIFY(w.cb_report->isChecked() && w.cb_autoclear->isChecked());
        QCOMPARE(w.bt_allcounterclear->text(), QString("Clear all Counter"));
        QCOMPARE(w.bt_goround->text(), QString("Output go round"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void configurationFileName_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::newRow("none") << QStringList{} << "defaulswt.cfg";
        QTest::newRow("one argument") << QStringList{"bench.cfg"} << "bench.cfg";
        QTest::newRow("two arguments") << QStringList{"a.cfg", "b.cfg"} << "defaulswt.cfg";
    }
    void configurationFileName() {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        FormFixture f(args);
        QCOMPARE(f->configFile(), f.exeDir() + file);
    }

    void timers_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("running");
        for (const char *n : {"ti_intervalall", "ti_intervalinputs", "ti_intervalOutputs",
                              "ti_intervalcounter", "ti_intervalcounterclear", "ti_setoutput", "ti_goround"})
            QTest::newRow(n) << n << 200 << true;
        QTest::newRow("ti_autoclear") << "ti_autoclear" << 10000 << true;
        QTest::newRow("ti_wsioreconnect") << "ti_wsioreconnect" << 2000 << false;
        QTest::newRow("ti_ws_io_disconnect") << "ti_ws_io_disconnect" << 200 << false;
        QTest::newRow("ti_wsioreconnectbin") << "ti_wsioreconnectbin" << 2000 << false;
        QTest::newRow("ti_ws_io_disconnectbin") << "ti_ws_io_disconnectbin" << 200 << false;
        QTest::newRow("ti_server_wd") << "ti_server_wd" << 3000 << false;
        QTest::newRow("ti_wsioreconnectmodbus") << "ti_wsioreconnectmodbus" << 2000 << false;
        QTest::newRow("ti_snmp") << "ti_snmp" << 500000 << false;
        QTest::newRow("ti_gis") << "ti_gis" << 500 << false;
        QTest::newRow("ti_version") << "ti_version" << 3000 << false;
        QTest::newRow("ti_errorrelease") << "ti_errorrelease" << 3000 << false;
    }
    void timers() {
        QFETCH(QString, name);
        QFETCH(int, interval);
        QFETCH(bool, running);
        FormFixture f;
        auto *t = f->findChild<QTimer *>(name);
        QVERIFY(t);
        QCOMPARE(t->interval(), interval);
        QCOMPARE(t->isActive(), running);
    }

    void modeVisibility_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("0 HTTP") << 0 << QStringList{"pa_settime", "bt_httpstart"};
        QTest::newRow("1 REST") << 1 << QStringList{"bt_reststart"};
        QTest::newRow("2 TCP Client")
            << 2 << QStringList{"pa_settime", "bt_connect", "cb_reconnect", "ed_tcpasciiport", "lb_port"};
        QTest::newRow("3 TCP Server")
            << 3 << QStringList{"bt_listen",           "ed_localserverport",      "lb_localportasciiserver",
                                "cb_disconnectserver", "ed_disconnectservertime", "lb_autodisconnectascii",
                                "lb_msascii"};
        QTest::newRow("4 UDP Peer") << 4
                                    << QStringList{"bt_bind", "ed_udplocalport", "ed_udpremoteport",
                                                   "lb_remoteport", "lb_localportasciiserver"};
        QTest::newRow("5 Binary Client")
            << 5 << QStringList{"pa_option", "bt_connect_bin", "cb_reconnectbin", "co_tcpbinport", "lb_port"};
        QTest::newRow("6 Binary Server") << 6
                                         << QStringList{"pa_option",
                                                        "bt_listenbin",
                                                        "co_localserverportbin",
                                                        "lb_localportasciiserver",
                                                        "cb_disconnectserverbin",
                                                        "ed_disconnectservertimebin",
                                                        "lb_autodisconnectascii",
                                                        "lb_msascii"};
        QTest::newRow("7 Binary UDP")
            << 7 << QStringList{"pa_option",           "bt_bindbin",    "co_udplocalportbin",
                                "co_udpremoteportbin", "lb_remoteport", "lb_localportasciiserver"};
        QTest::newRow("8 Modbus") << 8
                                  << QStringList{"bt_connectmodbus", "cb_reconnectmodbus", "ed_tcpmodbusport",
                                                 "lb_port"};
        QTest::newRow("9 SNMP") << 9 << QStringList{"bt_bindsnmp",          "co_udplocalportsnmp",
                                                    "ed_udpremoteportsnmp", "cb_viernull",
                                                    "lb_remoteport",        "lb_localportasciiserver"};
    }
    void modeVisibility() {
        QFETCH(int, mode);
        QFETCH(QStringList, shown);
        FormFixture f;
        TForm1 &w = f.form();
        // Come from another mode, so that the switch has to hide what it showed.
        pickMode(w, mode == 9 ? 3 : 9);
        pickMode(w, mode);
        QCOMPARE(w.currentMode, quint16(mode));
        for (const QString &name : modeSpecificNames())
            QVERIFY2(control(w, name)->isVisibleTo(&w) == shown.contains(name), qPrintable(name));
    }

    void modeSwitchResetsCaptionsAndState() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, 2);
        w.bt_connect->setText("Disconnect");
        w.io.inputs[0] = 1;
        w.io.counters[1] = 5;
        w.httpRunning = w.restRunning = true;
        w.IOstateToDisplay();
        pickMode(w, 4);
        QCOMPARE(w.bt_connect->text(), QString("Connect"));
        QCOMPARE(w.bt_bind->text(), QString("Bind"));
        QVERIFY(!w.httpRunning && !w.restRunning);
        QVERIFY(w.asciiClosing && w.binaryClosing && w.modbusClosing);
        QCOMPARE(w.io.inputs[0], quint16(0));
        QCOMPARE(w.display->inputLamps[0]->color(), lampOffColor);
        QCOMPARE(w.display->counterFields[1]->text(), QString("0"));
    }

    void typedModeIsNoMode() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, 2);
        typeInto(w.co_mode, "TCP Client"); // without the trailing blank: no item
        QCOMPARE(w.currentMode, quint16(65535));
        for (const QString &name : modeSpecificNames())
            QVERIFY2(!control(w, name)->isVisibleTo(&w), qPrintable(name));
    }

    void asciiPortFollowsDeviceGeneration() {
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, 2);
        QCOMPARE(w.ed_tcpasciiport->text(), QString("80"));
        w.device40 = true;
        w.ed_tcpasciiport->setText("1234");
        pickMode(w, 0);
        pickMode(w, 2);
        QCOMPARE(w.ed_tcpasciiport->text(), QString("42280"));
    }

    void deviceTypes_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("lastInput");
        QTest::addColumn<int>("lastOutput");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("node40");
        QTest::newRow("1In/1Out") << 0 << 1 << 1 << 0 << 0 << "1" << 48 << 48;
        QTest::newRow("2In/2Out") << 1 << 2 << 2 << 1 << 1 << "3" << 13 << 52;
        QTest::newRow("4In/Out") << 2 << 4 << 4 << 3 << 3 << "F" << 13 << 55;
        QTest::newRow("6In/6Out") << 3 << 6 << 6 << 5 << 5 << "003F" << 24 << 24;
        QTest::newRow("12In/6Rel") << 4 << 12 << 6 << 11 << 5 << "003F" << 19 << 51;
        QTest::newRow("12In/12Out") << 5 << 12 << 12 << 11 << 11 << "0FFF" << 4 << 49;
        QTest::newRow("12In/8Rel") << 6 << 12 << 8 << 11 << 7 << "00FF" << 4 << 49;
        QTest::newRow("16In/Out") << 7 << 16 << 16 << 15 << 15 << "FFFF" << 4 << 57;
        QTest::newRow("24I/24Out") << 8 << 16 << 16 << 15 << 15 << "00FFFFFF" << 14 << 14;
        QTest::newRow("2Out") << 9 << 0 << 2 << 0 << 1 << "3" << 54 << 54;
        QTest::newRow("8Out") << 10 << 0 << 8 << 0 << 7 << "00FF" << 53 << 53;
        QTest::newRow("UNKOWN") << 11 << 0 << 0 << 0 << 0 << "0000" << 0 << 0;
    }
    void deviceTypes() {
        QFETCH(int, type);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(int, lastInput);
        QFETCH(int, lastOutput);
        QFETCH(QString, mask);
        QFETCH(int, node);
        QFETCH(int, node40);
        FormFixture f;
        TForm1 &w = f.form();
        w.goroundStep = 3;
        pickDevice(w, type);
        QCOMPARE(int(w.lastInput), lastInput);
        QCOMPARE(int(w.lastOutput), lastOutput);
        QCOMPARE(w.allOutputsMask, mask);
        QCOMPARE(int(w.snmpDeviceNode), node);
        QCOMPARE(int(w.snmpDeviceNode40), node40);
        QCOMPARE(w.goroundStep, quint16(0));
        const IoDisplay &d = *w.display;
        QCOMPARE(visibleCount(w, d.inputLamps), inputs);
        QCOMPARE(visibleCount(w, d.inputNumberLabels), inputs);
        QCOMPARE(visibleCount(w, d.counterFields), inputs);
        QCOMPARE(visibleCount(w, d.counterGetButtons), inputs);
        QCOMPARE(visibleCount(w, d.outputLamps), outputs);
        QCOMPARE(visibleCount(w, d.outputNumberLabels), outputs);
        // The shown controls are the first ones.
        if (inputs)
            QVERIFY(d.inputLamps[inputs - 1]->isVisibleTo(&w));
        if (outputs)
            QVERIFY(d.outputLamps[outputs - 1]->isVisibleTo(&w));
    }

    // Right after start the type selector already shows "2In/2Out" while all
    // sixteen lamps are visible: picking that shown item from the list must
    // apply it. The pick goes through the real popup, as a user makes it.
    void pickingTheShownItemApplies() {
        FormFixture f;
        TForm1 &w = f.form();
        w.show();
        QCOMPARE(w.co_device->currentText(), QString("2In/2Out"));
        QCOMPARE(visibleCount(w, w.display->inputLamps), 16);
        w.co_device->showPopup();
        QTest::keyClick(w.co_device->view(), Qt::Key_Return);
        QCOMPARE(visibleCount(w, w.display->inputLamps), 2);
        QCOMPARE(visibleCount(w, w.display->outputLamps), 2);

        // The same rule for the mode selector: picking the shown "HTTP" runs the switch.
        w.httpRunning = true;
        w.co_mode->showPopup();
        QTest::keyClick(w.co_mode->view(), Qt::Key_Return);
        QVERIFY(!w.httpRunning);

        // A selection made by the program runs no handler.
        w.co_device->setCurrentIndex(4);
        QCOMPARE(visibleCount(w, w.display->inputLamps), 2);
        w.co_mode->setCurrentIndex(modeTcpClient);
        QCOMPARE(w.currentMode, quint16(modeHttp));
    }

    void typedDeviceTextKeepsBounds() {
        FormFixture f;
        TForm1 &w = f.form();
        pickDevice(w, 4); // 12 inputs, 6 outputs
        typeInto(w.co_device, "12In");
        QCOMPARE(int(w.lastInput), 11);
        QCOMPARE(int(w.lastOutput), 5);
        QCOMPARE(visibleCount(w, w.display->inputLamps), 12);
        QCOMPARE(visibleCount(w, w.display->outputLamps), 6);
    }

    void displayShowsState() {
        FormFixture f;
        TForm1 &w = f.form();
        pickDevice(w, 0);
        pickDevice(w, 7); // 16 in, 16 out: colours come only at the next refresh
        w.io.inputs[15] = 1;
        w.io.outputs[3] = 7; // any value other than 0 is on
        w.io.counters[15] = quint32(-1);
        QCOMPARE(w.display->inputLamps[15]->color(), lampOffColor);
        w.IOstateToDisplay();
        QCOMPARE(w.display->inputLamps[15]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[3]->color(), lampOnColor);
        QCOMPARE(w.display->outputLamps[2]->color(), lampOffColor);
        QCOMPARE(w.display->counterFields[15]->text(), QString("4294967295"));

        // An output-only box: input lamp 0 and counter 0 are refreshed but stay hidden.
        pickDevice(w, 9);
        w.io.inputs[0] = 1;
        w.io.counters[0] = 42;
        w.IOstateToDisplay();
        QCOMPARE(w.display->inputLamps[0]->color(), lampOnColor);
        QCOMPARE(w.display->counterFields[0]->text(), QString("42"));
        QVERIFY(!w.display->inputLamps[0]->isVisibleTo(&w));
        QVERIFY(!w.display->counterFields[0]->isVisibleTo(&w));
    }

    void keyfilterFunction_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("accepted");
        QTest::addColumn<QString>("refused");
        QTest::newRow("digits") << 0 << "0123456789\b"
                                << "a.F -";
        QTest::newRow("hex") << 1 << "0123456789ABCDEFabcdef\b"
                             << "gG.x ";
        QTest::newRow("address") << 2 << "0123456789.\b"
                                 << "a,: ";
        QTest::newRow("other filter") << 7 << "aZ.-\b9"
                                      << "";
    }
    void keyfilterFunction() {
        QFETCH(int, filter);
        QFETCH(QString, accepted);
        QFETCH(QString, refused);
        for (QChar c : accepted)
            QCOMPARE(keyfilter(c, filter), c);
        for (QChar c : refused)
            QCOMPARE(keyfilter(c, filter), QChar(0));
    }

    void typing_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("address") << "ed_ip"
                                 << "192.168.1.5a"
                                 << "192.168.1.5";
        QTest::newRow("hex mask") << "ed_setmask"
                                  << "0gf0F"
                                  << "0f0F";
        QTest::newRow("digits after a text") << "ed_intervalall"
                                             << "1x5."
                                             << "15015";
        QTest::newRow("digit selector") << "co_tcpbinport"
                                        << "9a9"
                                        << "99";
        QTest::newRow("password unfiltered") << "ed_password"
                                             << "pW.1 "
                                             << "pW.1 ";
    }
    void typing() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        FormFixture f;
        TForm1 &w = f.form();
        pickMode(w, 5);
        QWidget *target = w.findChild<QWidget *>(field);
        QVERIFY(target);
        if (auto *combo = qobject_cast<QComboBox *>(target)) {
            combo->lineEdit()->clear();
            QTest::keyClicks(combo, typed); // the selector has the focus, not its text field
            QCOMPARE(combo->currentText(), text);
            return;
        }
        auto *edit = qobject_cast<QLineEdit *>(target);
        edit->setText(field == "ed_intervalall" ? "150" : "");
        edit->end(false);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), text);
        // Backspace passes every filter.
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), text.left(text.size() - 1));
    }

    void programTextIsNotFiltered() {
        FormFixture f;
        f->ed_ip->setText("device.local");
        QCOMPARE(f->ed_ip->text(), QString("device.local"));
    }

    void statusBarClickResetsReconnectCounts() {
        FormFixture f;
        TForm1 &w = f.form();
        w.reconnectCount = 5;
        w.modbusReconnectCount = 3;
        QTest::mouseClick(w.StatusBar1, Qt::LeftButton, {}, QPoint(250, 10));
        QCOMPARE(w.reconnectCount, quint16(0));
        QCOMPARE(w.modbusReconnectCount, quint16(0));
        QCOMPARE(w.status(1), QString("reronnect: 0"));
    }

    void errorHighlightLastsFromFirstError() {
        FormFixture f;
        TForm1 &w = f.form();
        QElapsedTimer clock;
        clock.start();
        w.showErrorHighlight();
        QVERIFY(w.errorHighlighted());
        const int first = w.ti_errorrelease->remainingTime();
        QTRY_VERIFY(clock.elapsed() >= 50);
        w.showErrorHighlight(); // a later error does not extend it
        QVERIFY(w.ti_errorrelease->remainingTime() < first);
        QTRY_VERIFY_WITH_TIMEOUT(!w.errorHighlighted(), 4000);
        QVERIFY2(clock.elapsed() < 3300, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(clock.elapsed() >= 2900);
        QVERIFY(!w.ti_errorrelease->isActive());
    }

    void uncaughtErrorIsShownAndProgramGoesOn() {
        FormFixture f;
        TForm1 &w = f.form();
        w.ed_autoclear->clear();
        w.writereport("kept");
        w.ti_autoclear->setInterval(1);
        QTRY_VERIFY(!f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.messages.first(), QString("'' ist kein gültiger Integerwert"));
        QCOMPARE(w.reportLines(), QStringList{"kept"});
        // The window still works.
        pickMode(w, 3);
        QCOMPARE(w.currentMode, quint16(3));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
