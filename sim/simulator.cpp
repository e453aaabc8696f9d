#include "simulator.h"

#include "asciiservice.h"
#include "httpservice.h"
#include "binaryservice.h"
#include "identservice.h"
#include "modbusservice.h"
#include "resetservice.h"
#include "restservice.h"
#include "tcpadapter.h"
#include "udpadapter.h"
#include "valuepages.h"

#include <QCommandLineParser>

namespace sim {

const QList<ServiceInfo> &Simulator::services() {
    // Default ports are those of a 4.0 device where they are unprivileged;
    // the web server moves from 80 to 8080 so that no root is needed. The
    // identification record tells the tool where the web server is.
    static const QList<ServiceInfo> list = {
        {"ascii-tcp", false, 42280, "ASCII commands over TCP"},
        {"ascii-udp", true, 42279, "ASCII commands over UDP"},
        {"web", false, 8080, "web server: /version, /settime, command URLs, /rest/json"},
        {"reset", false, 8888, "reset port"},
        {"ident", true, 8513, "identification"},
        {"binary-tcp", false, 49153, "binary structures over TCP"},
        {"binary-udp", true, 45889, "binary structures over UDP"},
        {"modbus", false, 5020, "Modbus TCP (a device listens on 502)"},
    };
    return list;
}

SimOptions SimOptions::forTest() {
    SimOptions o;
    o.tickMs = 0;
    for (const ServiceInfo &s : Simulator::services())
        o.ports[s.name] = 0;
    return o;
}

bool Simulator::parseArguments(const QStringList &args, SimOptions &options, QString *message) {
    QCommandLineParser p;
    p.setApplicationDescription("korvosim: a simulated Korvo digital I/O device on a local address.");
    p.addHelpOption();
    QCommandLineOption bind("bind", "Address to bind every service to (default 127.0.0.1).", "address",
                            "127.0.0.1");
    QCommandLineOption article("article",
                               "Article number of the device type (default 31936, 16 in / 16 out, 4.0; "
                               "31833 is the legacy device; a number outside the catalogue is unknown).",
                               "number", QString::number(DeviceModel::defaultArticle));
    QCommandLineOption listTypes("list-types", "Print the catalogue of device types and exit.");
    QCommandLineOption password("password", "Device password (default empty).", "text");
    QCommandLineOption tick("tick-ms", "Step of the input pattern in ms, 0 for still inputs (default 500).",
                            "ms", "500");
    QCommandLineOption verbose("verbose", "Log every request and reply on one line to stderr.");
    QCommandLineOption bootFail("boot-fail", "Report BOOT=FAIL in GET /version.");
    QCommandLineOption connectAscii("connect-ascii", "Connect as ASCII device to a tool's TCP server.",
                                    "host:port");
    QCommandLineOption fault("fault",
                             "Fault of a service: refuse, stall, close-after:N, split, coalesce:N, garbage, "
                             "wrong-length (comma-separated; the option may repeat).",
                             "service=faults");
    QCommandLineOption connectBinary("connect-binary", "Connect as binary device to a tool's TCP server.",
                                     "host:port");
    p.addOptions({bind, article, listTypes, password, tick, verbose, bootFail, connectAscii, fault});
    p.addOption(connectBinary);
    QList<QCommandLineOption> portOptions;
    for (const ServiceInfo &s : services()) {
        portOptions.append(QCommandLineOption(s.name + "-port",
                                              QString("%1 port, %2 (default %3, 0 picks a free one).")
                                                  .arg(s.udp ? "UDP" : "TCP", s.what)
                                                  .arg(s.defaultPort),
                                              "port"));
        p.addOption(portOptions.last());
    }

    if (!p.parse(QStringList{"korvosim"} + args)) {
        *message = p.errorText();
        return false;
    }
    if (p.isSet("help")) {
        *message = p.helpText();
        return false;
    }
    if (p.isSet(listTypes)) {
        QString out;
        for (const DeviceKind &k : deviceCatalogue())
            out += QString("%1  %2 (%3 in, %4 out%5)\n")
                       .arg(k.article)
                       .arg(k.name)
                       .arg(k.inputs)
                       .arg(k.outputs)
                       .arg(k.device40 ? ", 4.0" : "");
        *message = out;
        return false;
    }
    bool ok = true;
    options.bind = QHostAddress(p.value(bind));
    if (options.bind.isNull() || options.bind.protocol() != QAbstractSocket::IPv4Protocol) {
        *message = "--bind needs an IPv4 address";
        return false;
    }
    options.article = quint16(p.value(article).toUInt(&ok));
    if (!ok || p.value(article).toUInt() > 65535) {
        *message = "--article needs a number";
        return false;
    }
    options.password = p.value(password);
    options.tickMs = p.value(tick).toInt(&ok);
    if (!ok || options.tickMs < 0) {
        *message = "--tick-ms needs a number of ms";
        return false;
    }
    options.verbose = p.isSet(verbose);
    options.bootFail = p.isSet(bootFail);
    options.connectAscii = p.value(connectAscii);
    options.connectBinary = p.value(connectBinary);
    for (const ServiceInfo &s : services()) {
        const QString name = s.name + "-port";
        if (!p.isSet(name))
            continue;
        const uint v = p.value(name).toUInt(&ok);
        if (!ok || v > 65535) {
            *message = "--" + name + " needs a port number";
            return false;
        }
        options.ports[s.name] = quint16(v);
    }
    for (const QString &f : p.values(fault)) {
        const QString service = f.section('=', 0, 0);
        const bool known = service == "ascii-client" || service == "binary-client" ||
                           std::any_of(services().begin(), services().end(),
                                       [&](const ServiceInfo &s) { return s.name == service; });
        if (!known) {
            *message = "--fault: no service '" + service + "'";
            return false;
        }
        if (!options.faults[service].parse(f.section('=', 1), message))
            return false;
    }
    if (!options.connectAscii.isEmpty()) {
        const qsizetype colon = options.connectAscii.lastIndexOf(':');
        const uint v = colon < 0 ? 0 : options.connectAscii.mid(colon + 1).toUInt(&ok);
        if (colon <= 0 || !ok || v == 0 || v > 65535) {
            *message = "--connect-ascii needs HOST:PORT";
            return false;
        }
    }
    if (!options.connectBinary.isEmpty()) {
        const qsizetype colon = options.connectBinary.lastIndexOf(':');
        const uint v = colon < 0 ? 0 : options.connectBinary.mid(colon + 1).toUInt(&ok);
        if (colon <= 0 || !ok || v == 0 || v > 65535) {
            *message = "--connect-binary needs HOST:PORT";
            return false;
        }
    }
    return true;
}

Simulator::Simulator(SimOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_model(m_options.article) {
    m_log.verbose = m_options.verbose;
    m_model.setPassword(m_options.password);
    addDevicePages(m_web, m_model, m_options.bootFail);
    addCommandPages(m_web, m_model);
    addRestPages(m_web, m_model);
    addValuePages(m_web, m_model);
    connect(&m_tick, &QTimer::timeout, this, [this] { m_model.tick(); });
}

Simulator::~Simulator() = default;

SessionFactory Simulator::factoryFor(const QString &service) {
    if (service == "ascii-tcp" || service == "ascii-udp" || service == "ascii-client")
        return [this] { return std::make_unique<AsciiSession>(m_model); };
    if (service == "binary-tcp" || service == "binary-udp")
        return [this] { return std::make_unique<BinarySession>(m_model); };
    if (service == "binary-client") // the device speaks first
        return [this] { return std::make_unique<BinarySession>(m_model, true); };
    if (service == "web")
        return [this] { return std::make_unique<WebSession>(m_web); };
    if (service == "reset")
        return [this] {
            return std::make_unique<ResetSession>(
                m_model, [this](const QString &what) { m_log.note("reset", "", what); });
        };
    if (service == "modbus")
        return [this] { return std::make_unique<ModbusSession>(m_model); };
    if (service == "ident")
        return [this] {
            IdentAddresses a;
            a.ip = m_options.bind.toIPv4Address();
            return std::make_unique<IdentSession>(
                m_model, [this] { return port("web"); }, a);
        };
    return {};
}

bool Simulator::start(QString *error) {
    for (const ServiceInfo &s : services()) {
        const quint16 wanted = m_options.ports.value(s.name, s.defaultPort);
        const Faults faults = m_options.faults.value(s.name);
        if (s.udp) {
            auto *u = new UdpService(s.name, factoryFor(s.name), faults, m_log, this);
            if (!u->bind(m_options.bind, wanted, error))
                return false;
            m_udp[s.name] = u;
        } else {
            auto *t = new TcpService(s.name, factoryFor(s.name), faults, m_log, this);
            if (!t->listen(m_options.bind, wanted, error))
                return false;
            m_tcp[s.name] = t;
        }
    }
    if (!m_options.connectAscii.isEmpty()) {
        const qsizetype colon = m_options.connectAscii.lastIndexOf(':');
        m_asciiClient = new TcpClientService("ascii-client", factoryFor("ascii-client"),
                                             m_options.faults.value("ascii-client"), m_log, this);
        m_asciiClient->start(m_options.connectAscii.left(colon),
                             quint16(m_options.connectAscii.mid(colon + 1).toUInt()));
    }
    if (!m_options.connectBinary.isEmpty()) {
        const qsizetype colon = m_options.connectBinary.lastIndexOf(':');
        m_binaryClient = new TcpClientService("binary-client", factoryFor("binary-client"),
                                              m_options.faults.value("binary-client"), m_log, this);
        m_binaryClient->start(m_options.connectBinary.left(colon),
                              quint16(m_options.connectBinary.mid(colon + 1).toUInt()));
    }
    if (m_options.tickMs > 0)
        m_tick.start(m_options.tickMs);
    return true;
}

quint16 Simulator::port(const QString &service) const {
    if (const TcpService *t = m_tcp.value(service))
        return t->port();
    if (const UdpService *u = m_udp.value(service))
        return u->port();
    return 0;
}

bool Simulator::asciiClientConnected() const { return m_asciiClient && m_asciiClient->connected(); }

bool Simulator::binaryClientConnected() const { return m_binaryClient && m_binaryClient->connected(); }

} // namespace sim
