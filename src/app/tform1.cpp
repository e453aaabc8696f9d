#include "app/tform1.h"

#include "app/keyfilter.h"
#include "core/guard.h"
#include "core/helpers.h"
#include "core/timers.h"
#include "config/configfile.h"
#include "config/windowconfig.h"
#include "discovery/identification.h"
#include "discovery/maintenance.h"
#include "net/twsocket.h"
#include "ops/operations.h"
#include "protocols/ascii/asciireplies.h"
#include "protocols/ascii/asciitcpclient.h"
#include "protocols/ascii/asciitcpserver.h"
#include "protocols/ascii/asciiudppeer.h"
#include "protocols/http/httpchannel.h"
#include "protocols/rest/restchannel.h"
#include "protocols/binary/binarychannel.h"
#include "protocols/modbus/modbuschannel.h"
#include "protocols/snmp/snmpchannel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>

int itemIndexOf(const QComboBox *combo) {
    return combo->findText(combo->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

TForm1::TForm1(const QString &exeDir, const QStringList &args, QWidget *parent)
    : QWidget(parent), m_exeDir(exeDir) {
    setWindowTitle(QStringLiteral("Korvo 4.0 Multi Tool"));
    setFixedSize(653, 615);
    // A compact font, so that every caption fits the fixed layout.
    QFont compact = font();
    compact.setPixelSize(11);
    setFont(compact);
    move(59, 81);

    buildConnectionPanel();
    display = std::make_unique<IoDisplay>(this);
    buildGetSetGroup();
    buildReportOptions();
    buildTimers();
    installKeyFilters();
    createChannels();
    FormCreate(args);
    wireWindowEvents();
}

TForm1::~TForm1() = default;

void TForm1::createChannels() {
    asciiReplies = std::make_unique<AsciiReplies>(*this);
    asciiClient = new AsciiTcpClient(*this);
    asciiServer = new AsciiTcpServer(*this);
    asciiUdp = new AsciiUdpPeer(*this);
    binaryChannel = new BinaryChannel(*this);
    snmpChannel = new SnmpChannel(*this);
    maintenance = new Maintenance(*this);
    httpChannel = new HttpChannel(*this);
    restChannel = new RestChannel(*this);
    modbusChannel = new ModbusChannel(*this);
    identification = new Identification(*this);
    ops = new Operations(*this);
}

void TForm1::FormCreate(const QStringList &args) {
    // Start-up, in this order; the controls and the I/O display (all 16
    // lamps and counter fields visible) exist already.
    ed_settime->setText(deviceTimeText(QDateTime::currentDateTime()));
    hideAll();
    co_mode->setCurrentIndex(modeHttp); // a selection by the program: the mode switch runs below
    currentMode = modeHttp;
    goroundStep = 0;
    httpRunning = false;

    // The eleven rotating sockets of the HTTP command channel.
    httpChannel->createSockets();
    httpSlot = 0;

    // The configuration file: the one named as the only command-line
    // argument, else "defaulswt.cfg", both in the executable's directory.
    // It selects the mode that the mode switch below sets up.
    hardConfig = false;
    m_configFile = m_exeDir + (args.size() == 1 ? args.first() : QString(defaultConfigName));
    loadConfig(*this, m_configFile);

    co_modeChange();
    allOutputsMask = QStringLiteral("FFFF");
    // With a configured address the device is identified at once. A socket
    // failure of the first stage is shown and start-up completes; its time
    // limit is already running, so the second stage follows on port 80.
    if (!ed_ip->text().isEmpty())
        guard([this] { bt_scanClick(); });
}

void TForm1::installKeyFilters() {
    QWidget *const digitFields[] = {ed_httpport,
                                    ed_tcpasciiport,
                                    ed_localserverport,
                                    ed_udplocalport,
                                    ed_udpremoteport,
                                    ed_disconnectservertime,
                                    ed_disconnectservertimebin,
                                    ed_tcpmodbusport,
                                    ed_udpremoteportsnmp,
                                    co_tcpbinport,
                                    co_localserverportbin,
                                    co_udplocalportbin,
                                    co_udpremoteportbin,
                                    co_udplocalportsnmp,
                                    ed_intervalall,
                                    ed_intervalinputs,
                                    ed_intervaloutputs,
                                    ed_intervalcounter,
                                    ed_intervalcounterclear,
                                    ed_intervalset,
                                    ed_intervalreset,
                                    ed_autogoround,
                                    ed_autoclear,
                                    ed_option};
    for (QWidget *w : digitFields)
        installKeyFilter(w, filterDigits);
    installKeyFilter(ed_setmask, filterHex);
    installKeyFilter(ed_resetmask, filterHex);
    installKeyFilter(ed_ip, filterAddress);
}

void TForm1::onClick(QAbstractButton *button, std::function<void()> fn) {
    connect(button, &QAbstractButton::clicked, this, [fn = std::move(fn)] { guard(fn); });
}

void TForm1::onTimer(QTimer *timer, std::function<void()> fn) {
    connect(timer, &QTimer::timeout, this, [fn = std::move(fn)] { guard(fn); });
}

void TForm1::wireWindowEvents() {
    // The two selectors apply what the user does: a pick from the list (the
    // item already shown too, so that "2In/2Out" picked right after start
    // applies) and typing in their text field. A selection made by the
    // program (configuration, identification) runs no handler.
    const auto userChanges = [this](QComboBox *combo, void (TForm1::*handler)()) {
        connect(combo, &QComboBox::activated, this,
                [this, handler] { guard([this, handler] { (this->*handler)(); }); });
        connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                [this, handler] { guard([this, handler] { (this->*handler)(); }); });
    };
    userChanges(co_mode, &TForm1::co_modeChange);
    userChanges(co_device, &TForm1::co_deviceChange);
    connect(StatusBar1, &StatusBar::clicked, this, [this] { guard([this] { StatusBar1Click(); }); });
    connect(cb_autoclear, &QCheckBox::toggled, this, [this] { guard([this] { cb_autoclearClick(); }); });
    onClick(bt_clearreport, [this] { bt_clearreportClick(); });
    onClick(bt_scan, [this] { bt_scanClick(); });
    onTimer(ti_autoclear, [this] { ti_autoclearTimer(); });
    onTimer(ti_errorrelease, [this] { ti_errorreleaseTimer(); });
    for (int i = 0; i < ioShown; ++i) {
        connect(display->outputLamps[i], &Lamp::pressed, this, [this](Lamp *lamp, Qt::MouseButton button) {
            guard([this, lamp, button] { sh_out_ledonMouseDown(lamp, button); });
        });
        connect(display->counterFields[i], &CounterField::clicked, this,
                [this](CounterField *field) { guard([this, field] { pa_counteronClick(field); }); });
        QPushButton *get = display->counterGetButtons[i];
        connect(get, &QPushButton::clicked, this,
                [this, get] { guard([this, get] { bt_getonClick(get); }); });
    }
}

// ---- report -----------------------------------------------------------------

void TForm1::writereport(const QString &reportstring) {
    if (cb_report->isChecked())
        mm_report->appendLine(reportstring);
}

void TForm1::cb_autoclearClick() { enableTimer(ti_autoclear, cb_autoclear->isChecked()); }

void TForm1::ti_autoclearTimer() {
    const qint32 limit = strToInt(ed_autoclear->text());
    if (limit < mm_report->lineCount())
        clearReport();
}

int TForm1::getvalue(const QString &rawstring) {
    QString error;
    const int value = ::getvalue(rawstring, &error);
    if (!error.isEmpty())
        writereport(error);
    return value;
}

// ---- display ----------------------------------------------------------------

void TForm1::IOstateToDisplay() { display->show(io, lastInput, lastOutput); }

void TForm1::co_deviceChange() {
    deviceChosen = true;
    display->setCounterBackground(Qt::white);
    const int index = itemIndexOf(co_device);
    if (index >= 0 && index < deviceTypeCount) {
        const DeviceType &t = deviceTypes[index];
        lastInput = t.lastInput;
        lastOutput = t.lastOutput;
        allOutputsMask = QString::fromLatin1(t.allOutputsMask);
        snmpDeviceNode = t.snmpDeviceNode;
        snmpDeviceNode40 = t.snmpDeviceNode40;
    }
    goroundStep = 0;
    display->applyVisibility(index, lastInput, lastOutput);
    if (index == deviceUnknown)
        unknownDeviceLookup();
}

// ---- mode switch ------------------------------------------------------------

void TForm1::registerSocket(const QString &name, TWSocket *socket) { m_sockets[name] = socket; }

TWSocket *TForm1::socket(const QString &name) const {
    const auto it = m_sockets.find(name);
    return it == m_sockets.end() ? nullptr : it->second;
}

void TForm1::closeAll() {
    asciiClosing = true;
    binaryClosing = true;
    modbusClosing = true;
    // Each close of an open socket runs its closed handler at once, while
    // currentMode still holds the old mode, so the channel writes its lines.
    static const char *const order[] = {"ws_io",        "ws_udp",        "ws_io_cli",      "ws_io_serv",
                                        "ws_io_binary", "ws_io_cli_bin", "ws_io_serv_bin", "ws_udp_bin",
                                        "ws_modbus",    "ws_snmp"};
    for (const char *name : order) {
        const auto it = m_sockets.find(QLatin1String(name));
        if (it != m_sockets.end())
            it->second->Close();
    }
    httpChannel->closeSockets(); // 0 to 10
    ti_snmp->stop();
}

void TForm1::hideAll() {
    pa_option->hide();
    pa_settime->hide();
    const std::pair<QPushButton *, const char *> buttons[] = {
        {bt_httpstart, "Start"},     {bt_reststart, "Start"}, {bt_connect, "Connect"},
        {bt_listen, "Listen"},       {bt_bind, "Bind"},       {bt_listenbin, "Listen"},
        {bt_connect_bin, "Connect"}, {bt_bindbin, "Bind"},    {bt_connectmodbus, "Connect"},
        {bt_bindsnmp, "Bind"}};
    for (const auto &[b, caption] : buttons) {
        b->hide();
        b->setText(QLatin1String(caption));
    }
    QWidget *const fields[] = {ed_tcpasciiport,
                               ed_localserverport,
                               ed_udplocalport,
                               ed_udpremoteport,
                               co_localserverportbin,
                               ed_tcpmodbusport,
                               ed_disconnectservertime,
                               ed_disconnectservertimebin,
                               co_tcpbinport,
                               co_udplocalportbin,
                               co_udpremoteportbin,
                               co_udplocalportsnmp,
                               ed_udpremoteportsnmp,
                               lb_port,
                               lb_remoteport,
                               lb_autodisconnectascii,
                               lb_msascii,
                               lb_localportasciiserver,
                               cb_reconnect,
                               cb_disconnectserver,
                               cb_disconnectserverbin,
                               cb_reconnectbin,
                               cb_reconnectmodbus,
                               cb_viernull};
    for (QWidget *w : fields)
        w->hide();
}

QList<QWidget *> TForm1::modeControls(int mode) const {
    switch (mode) {
    case modeHttp: return {pa_settime, bt_httpstart};
    case modeRest: return {bt_reststart};
    case modeTcpClient: return {pa_settime, bt_connect, cb_reconnect, ed_tcpasciiport, lb_port};
    case modeTcpServer:
        return {bt_listen,           ed_localserverport,      lb_localportasciiserver,
                cb_disconnectserver, ed_disconnectservertime, lb_autodisconnectascii,
                lb_msascii};
    case modeUdpPeer:
        return {bt_bind, ed_udplocalport, ed_udpremoteport, lb_remoteport, lb_localportasciiserver};
    case modeBinaryClient: return {pa_option, bt_connect_bin, cb_reconnectbin, co_tcpbinport, lb_port};
    case modeBinaryServer:
        return {pa_option,
                bt_listenbin,
                co_localserverportbin,
                lb_localportasciiserver,
                cb_disconnectserverbin,
                ed_disconnectservertimebin,
                lb_autodisconnectascii,
                lb_msascii};
    case modeBinaryUdp:
        return {pa_option,           bt_bindbin,    co_udplocalportbin,
                co_udpremoteportbin, lb_remoteport, lb_localportasciiserver};
    case modeModbus: return {bt_connectmodbus, cb_reconnectmodbus, ed_tcpmodbusport, lb_port};
    case modeSnmp:
        return {bt_bindsnmp, co_udplocalportsnmp, ed_udpremoteportsnmp,
                cb_viernull, lb_remoteport,       lb_localportasciiserver};
    default: return {};
    }
}

void TForm1::co_modeChange() {
    closeAll();
    hideAll();
    httpRunning = false;
    restRunning = false;
    io.clear();
    if (itemIndexOf(co_device) < 9)
        IOstateToDisplay();
    const int index = itemIndexOf(co_mode);
    currentMode = index < 0 ? noMode : quint16(index);
    for (QWidget *w : modeControls(currentMode))
        w->show();
    if (currentMode == modeTcpClient)
        ed_tcpasciiport->setText(device40 ? QStringLiteral("42280") : QStringLiteral("80"));
}

// ---- status bar and error highlight -------------------------------------------

void TForm1::StatusBar1Click() {
    reconnectCount = 0;
    modbusReconnectCount = 0;
    setStatus(1, QStringLiteral("reronnect: 0"));
}

void TForm1::showErrorHighlight() {
    const QColor red(255, 0, 0);
    QPalette bar = StatusBar1->palette();
    bar.setColor(QPalette::Window, red);
    StatusBar1->setPalette(bar);
    QPalette pane = mm_report->palette();
    pane.setColor(QPalette::Base, red);
    mm_report->setPalette(pane);
    enableTimer(ti_errorrelease, true);
}

bool TForm1::errorHighlighted() const {
    return StatusBar1->palette().color(QPalette::Window) == QColor(255, 0, 0) &&
           mm_report->palette().color(QPalette::Base) == QColor(255, 0, 0);
}

void TForm1::ti_errorreleaseTimer() {
    QPalette bar = StatusBar1->palette();
    bar.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    StatusBar1->setPalette(bar);
    QPalette pane = mm_report->palette();
    pane.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    mm_report->setPalette(pane);
    ti_errorrelease->stop();
}

// ---- I/O display controls ---------------------------------------------------------

void TForm1::sh_out_ledonMouseDown(Lamp *Sender, Qt::MouseButton Button) {
    ops->sh_out_ledonMouseDown(Sender, Button);
}

void TForm1::pa_counteronClick(CounterField *Sender) { ops->pa_counteronClick(Sender); }

void TForm1::bt_getonClick(QPushButton *Sender) { ops->bt_getonClick(Sender); }

// ---- discovery ----------------------------------------------------------------

void TForm1::bt_scanClick() { identification->bt_scanClick(); }

void TForm1::unknownDeviceLookup() { identification->unknownDeviceLookup(); }

// ---- closing ------------------------------------------------------------------

void TForm1::FormClose() {
    if (m_closed)
        return;
    m_closed = true;
    // Always to the default file, also when another one was read at start.
    // A failed save is said on stderr and never keeps the window open.
    saveConfig(*this, m_exeDir + defaultConfigName);
}

void TForm1::closeEvent(QCloseEvent *event) {
    guard([this] { FormClose(); });
    event->accept();
}
