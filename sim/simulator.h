#pragma once
// korvosim put together: one DeviceModel, the web routes, and one adapter per
// service, each on its own port. main() builds one from the command line;
// tests build one in-process with every port 0 (the system picks).
//
// A protocol joins by a row in the service table (simulator.cpp): its name,
// TCP or UDP, its default port and how to make its Session. The command line
// then has "--<name>-port" and "--fault <name>=..." for it.
#include "devicemodel.h"
#include "faults.h"
#include "simlog.h"
#include "webservice.h"

#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QTimer>

namespace sim {

class TcpService;
class TcpClientService;
class UdpService;

struct SimOptions {
    QHostAddress bind = QHostAddress::LocalHost;
    quint16 article = DeviceModel::defaultArticle;
    QString password;
    int tickMs = 500; // input pattern step; 0 keeps the inputs still
    bool verbose = false;
    bool bootFail = false;        // "/version" reports "BOOT=FAIL"
    QString connectAscii;         // HOST:PORT of a tool's ASCII server to connect to
    QString connectBinary;        // HOST:PORT of a tool's binary server to connect to
    QMap<QString, quint16> ports; // per service; a missing one takes its default
    QMap<QString, Faults> faults; // per service

    // Every port 0, inputs still: what a test wants.
    static SimOptions forTest();
};

struct ServiceInfo {
    QString name;
    bool udp;
    quint16 defaultPort;
    QString what;
};

class Simulator : public QObject {
    Q_OBJECT
public:
    explicit Simulator(SimOptions options, QObject *parent = nullptr);
    ~Simulator() override;

    // The services in start order: ascii-tcp, ascii-udp, web, reset, ident, ...
    static const QList<ServiceInfo> &services();
    // Fills options from the command line (without the program name); false
    // with a message on a bad option. "--help" gives false with the usage.
    static bool parseArguments(const QStringList &args, SimOptions &options, QString *message);

    // Opens every port; false with a message when one cannot be opened.
    bool start(QString *error);
    // The port a service got, 0 before start or for a service not running.
    quint16 port(const QString &service) const;

    DeviceModel &model() { return m_model; }
    WebRoutes &web() { return m_web; }
    const SimOptions &options() const { return m_options; }
    bool asciiClientConnected() const;
    bool binaryClientConnected() const;

private:
    SessionFactory factoryFor(const QString &service);

    SimOptions m_options;
    SimLog m_log;
    DeviceModel m_model;
    WebRoutes m_web;
    QMap<QString, TcpService *> m_tcp;
    QMap<QString, UdpService *> m_udp;
    TcpClientService *m_asciiClient = nullptr;
    TcpClientService *m_binaryClient = nullptr;
    QTimer m_tick;
};

} // namespace sim
