#pragma once
// TForm1: the one window. It builds the controls (public members with the
// names the rest of the program and the tests use), owns IoState, the shared
// flags and every timer, creates the channels, and performs start-up, close,
// the mode switch, the key filters, the status bar and the error highlight.
// The protocol work lives in the channels; this class only composes them.
#include "app/clicklabel.h"
#include "app/iodisplay.h"
#include "app/reportpane.h"
#include "app/statusbar.h"
#include "core/iostate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TWSocket;
class AsciiReplies;
class AsciiTcpClient;
class AsciiTcpServer;
class AsciiUdpPeer;
class BinaryChannel;
class SnmpChannel;
class Maintenance;
class HttpChannel;
class RestChannel;
class ModbusChannel;
class Identification;
class Operations;

// The item index of an editable selector: the item whose caption equals the
// text exactly, -1 for typed text that is no item.
int itemIndexOf(const QComboBox *combo);

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // exeDir: the executable's directory, ending in a separator; args: the
    // command-line arguments after the program name.
    explicit TForm1(const QString &exeDir, const QStringList &args = {}, QWidget *parent = nullptr);
    ~TForm1() override;

    // ---- areas ----
    QFrame *Panel1;
    QGroupBox *gb_getset;
    QFrame *pa_config;
    ReportPane *mm_report;
    QPlainTextEdit *mm_config;
    QPlainTextEdit *mm_deviceinfo;
    StatusBar *StatusBar1;
    std::unique_ptr<IoDisplay> display;

    // ---- connection panel ----
    QLineEdit *ed_ip, *ed_httpport, *ed_password;
    QComboBox *co_device, *co_mode;
    QPushButton *bt_scan;
    QPushButton *bt_httpstart, *bt_reststart, *bt_connect, *bt_listen, *bt_bind, *bt_connect_bin,
        *bt_listenbin, *bt_bindbin, *bt_connectmodbus, *bt_bindsnmp;
    QCheckBox *cb_reconnect, *cb_disconnectserver, *cb_reconnectbin, *cb_disconnectserverbin,
        *cb_reconnectmodbus, *cb_viernull;
    QLineEdit *ed_tcpasciiport, *ed_localserverport, *ed_disconnectservertime, *ed_udplocalport,
        *ed_udpremoteport, *ed_disconnectservertimebin, *ed_tcpmodbusport, *ed_udpremoteportsnmp;
    QComboBox *co_tcpbinport, *co_localserverportbin, *co_udplocalportbin, *co_udpremoteportbin,
        *co_udplocalportsnmp;
    QLabel *lb_port, *lb_autodisconnectascii, *lb_msascii, *lb_remoteport;
    ClickLabel *lb_localportasciiserver;

    // ---- "Get and Set" ----
    QPushButton *bt_getall, *bt_getinputs, *bt_getoutputs, *bt_allcounter, *bt_allcounterclear, *bt_setoutput,
        *bt_resetoutput, *bt_goround, *bt_reset;
    QCheckBox *cb_autoall, *cb_autoinputs, *cb_autooutputs, *cb_autocounter, *cb_autocounterclear,
        *cb_autoset, *cb_autogoround;
    QLineEdit *ed_intervalall, *ed_intervalinputs, *ed_intervaloutputs, *ed_intervalcounter,
        *ed_intervalcounterclear, *ed_intervalset, *ed_setstate, *ed_setmask, *ed_intervalreset,
        *ed_resetstate, *ed_resetmask, *ed_autogoround;
    QFrame *pa_option, *pa_settime;
    QPushButton *bt_option, *bt_settime;
    QLineEdit *ed_option, *ed_settime;
    QCheckBox *cb_setedittime;

    // ---- report options ----
    QCheckBox *cb_report, *cb_autoclear;
    QLineEdit *ed_autoclear;
    QPushButton *bt_clearreport;

    // ---- timers: every timer of the window ----
    QTimer *ti_intervalall, *ti_intervalinputs, *ti_intervalOutputs, *ti_intervalcounter,
        *ti_intervalcounterclear, *ti_setoutput, *ti_goround, *ti_autoclear, *ti_wsioreconnect,
        *ti_ws_io_disconnect, *ti_wsioreconnectbin, *ti_ws_io_disconnectbin, *ti_server_wd,
        *ti_wsioreconnectmodbus, *ti_snmp, *ti_gis, *ti_version, *ti_errorrelease;

    // ---- the I/O picture and what goes with the device type ----
    IoState io;
    quint16 lastInput = 0;
    quint16 lastOutput = 0;
    QString allOutputsMask;
    quint16 snmpDeviceNode = 0;
    quint16 snmpDeviceNode40 = 0;
    qint32 articleNumber = 0; // five digits: 16 bits would wrap numbers above 65535
    bool device40 = false;
    bool legacyDevice = false;
    quint16 currentMode = 0;
    // co_device holds a type that was chosen: by the user, by identification
    // or by the settings file. A fresh start only shows "2In/2Out".
    bool deviceChosen = false;
    quint16 goroundStep = 0;

    // ---- shared flags and counters of the channels ----
    bool httpRunning = false;
    bool restRunning = false;
    bool asciiClosing = false;
    bool binaryClosing = false;
    bool modbusClosing = false;
    quint16 reconnectCount = 0;
    quint16 modbusReconnectCount = 0;
    bool nextIsSet = false;
    bool hardConfig = false;

    // ---- sockets ----
    std::array<TWSocket *, 11> httpSockets{};
    // The path each HTTP socket requests once it is connected.
    std::array<QString, 11> httpRequestPaths;
    int httpSlot = 0;

    // ---- channels ----
    std::unique_ptr<AsciiReplies> asciiReplies;
    AsciiTcpClient *asciiClient = nullptr;
    AsciiTcpServer *asciiServer = nullptr;
    AsciiUdpPeer *asciiUdp = nullptr;
    BinaryChannel *binaryChannel = nullptr;
    SnmpChannel *snmpChannel = nullptr;
    Maintenance *maintenance = nullptr;
    HttpChannel *httpChannel = nullptr;
    RestChannel *restChannel = nullptr;
    ModbusChannel *modbusChannel = nullptr;
    Identification *identification = nullptr;
    // The commands of "Get and Set" and of the I/O display.
    Operations *ops = nullptr;

    QString exeDir() const { return m_exeDir; }
    QString configFile() const { return m_configFile; }

    // ---- the report ----
    void writereport(const QString &reportstring);
    QStringList reportLines() { return mm_report->lines(); }
    void clearReport() { mm_report->clearAll(); }

    // ---- display ----
    void IOstateToDisplay();
    void co_deviceChange();

    // ---- mode switch ----
    void co_modeChange();
    void closeAll();
    void hideAll();
    QList<QWidget *> modeControls(int mode) const;
    // A channel's socket, closed by closeAll in the fixed order of the names.
    void registerSocket(const QString &name, TWSocket *socket);
    // A registered socket by name; nullptr while its channel does not exist.
    TWSocket *socket(const QString &name) const;
    // Runs fn through the error guard whenever the button is clicked.
    void onClick(QAbstractButton *button, std::function<void()> fn);
    void onTimer(QTimer *timer, std::function<void()> fn);

    // ---- status bar and error highlight ----
    void setStatus(int panel, const QString &text) { StatusBar1->setPanelText(panel, text); }
    QString status(int panel) const { return StatusBar1->panelText(panel); }
    void StatusBar1Click();
    void showErrorHighlight();
    bool errorHighlighted() const;
    void ti_errorreleaseTimer();

    // ---- report options ----
    void bt_clearreportClick() { clearReport(); }
    void cb_autoclearClick();
    void ti_autoclearTimer();

    // ---- helpers that write to the report ----
    int getvalue(const QString &rawstring);

    // ---- the I/O display's own controls: an output lamp toggles its output,
    // a counter field clears its counter, a "Get" button reads it ----
    void sh_out_ledonMouseDown(Lamp *Sender, Qt::MouseButton Button = Qt::LeftButton);
    void pa_counteronClick(CounterField *Sender);
    void bt_getonClick(QPushButton *Sender);

    // ---- discovery ----
    void bt_scanClick();
    void unknownDeviceLookup();

    void FormClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate(const QStringList &args);
    void buildConnectionPanel();
    void buildGetSetGroup();
    void buildReportOptions();
    void buildTimers();
    void createChannels();
    void installKeyFilters();
    void wireWindowEvents();

    QString m_exeDir;
    QString m_configFile;
    std::map<QString, TWSocket *> m_sockets;
    bool m_closed = false;
};
