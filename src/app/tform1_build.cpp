// Building the window's controls: positions, captions, default texts, items.
#include "app/tform1.h"
#include "core/timers.h"

namespace {

QLabel *label(QWidget *parent, const QString &text, int x, int y, int w = 80) {
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 14);
    return l;
}

QLineEdit *edit(QWidget *parent, const char *name, const QString &text, int x, int y, int w) {
    auto *e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    e->setGeometry(x, y, w, 21);
    return e;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int x, int y, int w = 90) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, y, w, 23);
    return b;
}

QCheckBox *check(QWidget *parent, const char *name, const QString &caption, bool ticked, int x, int y,
                 int w = 60) {
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QLatin1String(name));
    c->setChecked(ticked);
    c->setGeometry(x, y, w, 21);
    return c;
}

QComboBox *combo(QWidget *parent, const char *name, const QStringList &items, const QString &text, int x,
                 int y, int w) {
    auto *c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(items);
    c->setEditText(text);
    const int index = c->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        c->setCurrentIndex(index);
    c->setGeometry(x, y, w, 21);
    return c;
}

QFrame *panel(QWidget *parent, const char *name, int x, int y, int w, int h) {
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setGeometry(x, y, w, h);
    return f;
}

} // namespace

void TForm1::buildConnectionPanel() {
    Panel1 = panel(this, "Panel1", 8, 8, 281, 129);
    Panel1->setFrameShape(QFrame::StyledPanel);
    QWidget *p = Panel1;

    label(p, QStringLiteral("IP Address"), 4, 2);
    ed_ip = edit(p, "ed_ip", QString(), 4, 16, 96);
    label(p, QStringLiteral("HTTP Port"), 104, 2, 55);
    ed_httpport = edit(p, "ed_httpport", QStringLiteral("80"), 104, 16, 50);
    label(p, QStringLiteral("Korvo Type"), 160, 2);
    co_device = combo(p, "co_device", deviceTypeCaptions(), QStringLiteral("2In/2Out"), 160, 16, 117);

    label(p, QStringLiteral("Mode"), 4, 40);
    co_mode = combo(p, "co_mode", operatingModeCaptions(), QStringLiteral("HTTP"), 4, 54, 130);
    label(p, QStringLiteral("Password"), 138, 40);
    ed_password = edit(p, "ed_password", QString(), 138, 54, 80);
    bt_scan = button(p, "bt_scan", QStringLiteral("Identify"), 222, 53, 55);

    // The bottom rows hold the controls of the active mode; controls of
    // different modes share places, since only one mode is shown at a time.
    const int labelRow = 80, row = 96;
    bt_httpstart = button(p, "bt_httpstart", QStringLiteral("Start"), 4, row, 75);
    bt_reststart = button(p, "bt_reststart", QStringLiteral("Start"), 4, row, 75);
    bt_connect = button(p, "bt_connect", QStringLiteral("Connect"), 4, row, 75);
    bt_listen = button(p, "bt_listen", QStringLiteral("Listen"), 4, row, 75);
    bt_bind = button(p, "bt_bind", QStringLiteral("Bind"), 4, row, 75);
    bt_connect_bin = button(p, "bt_connect_bin", QStringLiteral("Connect"), 4, row, 75);
    bt_listenbin = button(p, "bt_listenbin", QStringLiteral("Listen"), 4, row, 75);
    bt_bindbin = button(p, "bt_bindbin", QStringLiteral("Bind"), 4, row, 75);
    bt_connectmodbus = button(p, "bt_connectmodbus", QStringLiteral("Connect"), 4, row, 75);
    bt_bindsnmp = button(p, "bt_bindsnmp", QStringLiteral("Bind"), 4, row, 75);

    lb_port = label(p, QStringLiteral("Port"), 84, labelRow, 50);
    lb_localportasciiserver = new ClickLabel(QStringLiteral("Local Port"), p);
    lb_localportasciiserver->setGeometry(84, labelRow, 55, 14);
    lb_remoteport = label(p, QStringLiteral("Remote Port"), 150, labelRow, 70);
    lb_autodisconnectascii = label(p, QStringLiteral("Auto disconnect after"), 150, labelRow, 130);
    lb_msascii = label(p, QStringLiteral("ms"), 214, row + 4, 20);

    ed_tcpasciiport = edit(p, "ed_tcpasciiport", QStringLiteral("80"), 84, row + 1, 52);
    ed_localserverport = edit(p, "ed_localserverport", QStringLiteral("80"), 84, row + 1, 52);
    ed_udplocalport = edit(p, "ed_udplocalport", QStringLiteral("8500"), 84, row + 1, 52);
    ed_udpremoteport = edit(p, "ed_udpremoteport", QStringLiteral("42279"), 150, row + 1, 52);
    ed_tcpmodbusport = edit(p, "ed_tcpmodbusport", QStringLiteral("502"), 84, row + 1, 52);
    ed_udpremoteportsnmp = edit(p, "ed_udpremoteportsnmp", QStringLiteral("161"), 150, row + 1, 52);
    ed_disconnectservertime = edit(p, "ed_disconnectservertime", QStringLiteral("200"), 168, row + 1, 42);
    ed_disconnectservertimebin =
        edit(p, "ed_disconnectservertimebin", QStringLiteral("200"), 168, row + 1, 42);

    const QStringList binPorts = {QStringLiteral("49153"), QStringLiteral("49154"), QStringLiteral("49155"),
                                  QStringLiteral("49156")};
    const QStringList udpBinPorts = {QStringLiteral("45889"), QStringLiteral("45890"),
                                     QStringLiteral("45891"), QStringLiteral("45892")};
    co_tcpbinport = combo(p, "co_tcpbinport", binPorts, QStringLiteral("49153"), 84, row + 1, 60);
    co_localserverportbin = combo(p, "co_localserverportbin",
                                  binPorts + QStringList{QStringLiteral("59153"), QStringLiteral("59154"),
                                                         QStringLiteral("59155"), QStringLiteral("59156")},
                                  QStringLiteral("49153"), 84, row + 1, 62);
    co_udplocalportbin =
        combo(p, "co_udplocalportbin", udpBinPorts, QStringLiteral("45889"), 84, row + 1, 62);
    co_udpremoteportbin =
        combo(p, "co_udpremoteportbin", udpBinPorts, QStringLiteral("45889"), 150, row + 1, 60);
    co_udplocalportsnmp =
        combo(p, "co_udplocalportsnmp",
              {QStringLiteral("8500"), QStringLiteral("8510"), QStringLiteral("8520"), QStringLiteral("8530"),
               QStringLiteral("8540"), QStringLiteral("8550"), QStringLiteral("8560")},
              QStringLiteral("8510"), 84, row + 1, 62);

    cb_reconnect = check(p, "cb_reconnect", QStringLiteral("Reconnect"), true, 150, row + 1, 90);
    cb_reconnectbin = check(p, "cb_reconnectbin", QStringLiteral("Reconnect"), true, 150, row + 1, 90);
    cb_reconnectmodbus = check(p, "cb_reconnectmodbus", QStringLiteral("Reconnect"), true, 150, row + 1, 90);
    cb_disconnectserver = check(p, "cb_disconnectserver", QString(), false, 150, row + 1, 18);
    cb_disconnectserverbin = check(p, "cb_disconnectserverbin", QString(), false, 150, row + 1, 18);
    cb_viernull = check(p, "cb_viernull", QStringLiteral("4.0"), false, 208, row + 1, 50);
}

void TForm1::buildGetSetGroup() {
    gb_getset = new QGroupBox(QStringLiteral("Get and Set"), this);
    gb_getset->setObjectName(QStringLiteral("gb_getset"));
    gb_getset->setGeometry(296, 8, 345, 289);
    QWidget *g = gb_getset;
    const QString two = QStringLiteral("200");

    struct Row {
        QPushButton **button;
        const char *buttonName;
        const char *caption;
        QCheckBox **check;
        const char *checkName;
        bool ticked;
        QLineEdit **interval;
        const char *intervalName;
    };
    const Row rows[] = {
        {&bt_getall, "bt_getall", "Get All", &cb_autoall, "cb_autoall", true, &ed_intervalall,
         "ed_intervalall"},
        {&bt_getinputs, "bt_getinputs", "Get Inputs", &cb_autoinputs, "cb_autoinputs", false,
         &ed_intervalinputs, "ed_intervalinputs"},
        {&bt_getoutputs, "bt_getoutputs", "Get Outputs", &cb_autooutputs, "cb_autooutputs", false,
         &ed_intervaloutputs, "ed_intervaloutputs"},
        {&bt_allcounter, "bt_allcounter", "Get all Counter", &cb_autocounter, "cb_autocounter", false,
         &ed_intervalcounter, "ed_intervalcounter"},
        {&bt_allcounterclear, "bt_allcounterclear", "Clear all Counter", &cb_autocounterclear,
         "cb_autocounterclear", false, &ed_intervalcounterclear, "ed_intervalcounterclear"},
    };
    int y = 20;
    for (const Row &r : rows) {
        *r.button = button(g, r.buttonName, QString::fromLatin1(r.caption), 8, y, 110);
        *r.check = check(g, r.checkName, QStringLiteral("auto"), r.ticked, 124, y + 1, 50);
        *r.interval = edit(g, r.intervalName, two, 176, y + 1, 44);
        y += 26;
    }

    label(g, QStringLiteral("Set to"), 226, 136, 60);
    label(g, QStringLiteral("Mask"), 284, 136, 50);
    bt_setoutput = button(g, "bt_setoutput", QStringLiteral("Set Output"), 8, 150, 110);
    cb_autoset = check(g, "cb_autoset", QStringLiteral("auto"), false, 124, 151, 50);
    ed_intervalset = edit(g, "ed_intervalset", two, 176, 151, 44);
    ed_setstate = edit(g, "ed_setstate", QStringLiteral("0FFF"), 226, 151, 54);
    ed_setmask = edit(g, "ed_setmask", QString(), 284, 151, 54);

    bt_resetoutput = button(g, "bt_resetoutput", QStringLiteral("Reset Output"), 8, 176, 110);
    ed_intervalreset = edit(g, "ed_intervalreset", two, 176, 177, 44);
    ed_resetstate = edit(g, "ed_resetstate", QStringLiteral("0000"), 226, 177, 54);
    ed_resetmask = edit(g, "ed_resetmask", QString(), 284, 177, 54);

    bt_goround = button(g, "bt_goround", QStringLiteral("Output go round"), 8, 206, 110);
    cb_autogoround = check(g, "cb_autogoround", QStringLiteral("auto"), false, 124, 207, 50);
    ed_autogoround = edit(g, "ed_autogoround", two, 176, 207, 44);

    bt_reset = button(g, "bt_reset", QStringLiteral("Reset"), 8, 246, 110);

    // The option panel (binary modes) and the clock panel (modes 0 and 2)
    // share one place; at most one of them is shown.
    pa_option = panel(g, "pa_option", 124, 236, 215, 46);
    bt_option = button(pa_option, "bt_option", QStringLiteral("Set Option"), 0, 10, 90);
    ed_option = edit(pa_option, "ed_option", QStringLiteral("1"), 96, 11, 60);

    pa_settime = panel(g, "pa_settime", 124, 236, 215, 46);
    bt_settime = button(pa_settime, "bt_settime", QStringLiteral("Set Time"), 0, 10, 64);
    cb_setedittime = check(pa_settime, "cb_setedittime", QString(), false, 68, 11, 18);
    ed_settime = edit(pa_settime, "ed_settime", QString(), 88, 11, 126);
}

void TForm1::buildReportOptions() {
    mm_report = new ReportPane(this);
    mm_report->setObjectName(QStringLiteral("mm_report"));
    mm_report->setGeometry(8, 303, 528, 283);

    pa_config = panel(this, "pa_config", 545, 303, 97, 283);
    pa_config->setFrameShape(QFrame::StyledPanel);
    cb_report = check(pa_config, "cb_report", QStringLiteral("Write Report"), true, 4, 6, 92);
    cb_autoclear = check(pa_config, "cb_autoclear", QStringLiteral("Autoclear"), true, 4, 30, 92);
    ed_autoclear = edit(pa_config, "ed_autoclear", QStringLiteral("1000"), 4, 54, 50);
    label(pa_config, QStringLiteral("lines"), 58, 58, 35);
    bt_clearreport = button(pa_config, "bt_clearreport", QStringLiteral("Clear Report"), 4, 250, 89);

    // Kept for the configuration file and identification; never shown.
    mm_config = new QPlainTextEdit(pa_config);
    mm_config->setObjectName(QStringLiteral("mm_config"));
    mm_config->hide();
    mm_deviceinfo = new QPlainTextEdit(pa_config);
    mm_deviceinfo->setObjectName(QStringLiteral("mm_deviceinfo"));
    mm_deviceinfo->hide();

    StatusBar1 = new StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 595, 653, 20);
}

void TForm1::buildTimers() {
    struct TimerSetting {
        QTimer **timer;
        const char *name;
        int interval;
        bool running;
    };
    const TimerSetting timers[] = {
        {&ti_intervalall, "ti_intervalall", 200, true},
        {&ti_intervalinputs, "ti_intervalinputs", 200, true},
        {&ti_intervalOutputs, "ti_intervalOutputs", 200, true},
        {&ti_intervalcounter, "ti_intervalcounter", 200, true},
        {&ti_intervalcounterclear, "ti_intervalcounterclear", 200, true},
        {&ti_setoutput, "ti_setoutput", 200, true},
        {&ti_goround, "ti_goround", 200, true},
        {&ti_autoclear, "ti_autoclear", 10000, true},
        {&ti_wsioreconnect, "ti_wsioreconnect", 2000, false},
        {&ti_ws_io_disconnect, "ti_ws_io_disconnect", 200, false},
        {&ti_wsioreconnectbin, "ti_wsioreconnectbin", 2000, false},
        {&ti_ws_io_disconnectbin, "ti_ws_io_disconnectbin", 200, false},
        {&ti_server_wd, "ti_server_wd", 3000, false},
        {&ti_wsioreconnectmodbus, "ti_wsioreconnectmodbus", 2000, false},
        {&ti_snmp, "ti_snmp", 500000, false},
        {&ti_gis, "ti_gis", 500, false},
        {&ti_version, "ti_version", 3000, false},
        {&ti_errorrelease, "ti_errorrelease", 3000, false},
    };
    for (const TimerSetting &s : timers) {
        *s.timer = new QTimer(this);
        (*s.timer)->setObjectName(QLatin1String(s.name));
        (*s.timer)->setInterval(s.interval);
        // Intervals are the user's polling rates and protocol time limits:
        // keep them to the millisecond instead of letting the system batch them.
        (*s.timer)->setTimerType(Qt::PreciseTimer);
        if (s.running)
            enableTimer(*s.timer, true);
    }
}
