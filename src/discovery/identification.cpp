#include "discovery/identification.h"

#include "app/tform1.h"
#include "core/errors.h"
#include "core/guard.h"
#include "discovery/identcodec.h"
#include "net/tidhttp.h"
#include "net/twsocket.h"

#include <array>

IdentificationPorts Identification::defaultPorts;

Identification::Identification(TForm1 &form) : QObject(&form), f(form) {
    ws_gis = new TWSocket(this);
    ws_gis->setProto(QStringLiteral("udp"));
    ws_gis->setPort(QString::number(ports.service));
    ws_gis->setLocalPort(QStringLiteral("0"));
    ws_gis->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_gisDataAvailable(s, e); };
    ws_gis->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_gisSessionClosed(s, e); };
    // no OnError: a failing Connect or SendStr is thrown to the caller

    ws_version = new TWSocket(this);
    ws_version->setProto(QStringLiteral("tcp"));
    ws_version->OnSessionConnected = [this](TWSocket *s, quint16 e) { ws_versionSessionConnected(s, e); };
    ws_version->OnDataAvailable = [this](TWSocket *s, quint16 e) { ws_versionDataAvailable(s, e); };
    ws_version->OnSessionClosed = [this](TWSocket *s, quint16 e) { ws_versionSessionClosed(s, e); };
    ws_version->OnError = [this](TWSocket *s) { ws_versionError(s); };

    f.onTimer(f.ti_gis, [this] { ti_gisTimer(); });
    f.onTimer(f.ti_version, [this] { ti_versionTimer(); });
}

// ---- stage 1: the identification service ----------------------------------------

void Identification::bt_scanClick() {
    if (f.ed_ip->text().isEmpty())
        return;
    m_replyReceived = false;
    ws_gis->setAddr(f.ed_ip->text());
    ws_gis->setPort(QString::number(ports.service));
    ws_gis->setProto(QStringLiteral("udp"));
    // Started before anything can fail, so that an address that does not
    // resolve still ends in the "No Answer" path with stage 2 on port 80.
    f.ti_gis->start();
    ws_gis->Connect();
    ws_gis->SendStr(QString::fromLatin1(ident::versionRequest));
    f.clearReport();
    f.writereport(QStringLiteral("UDP  -> Send Version 1.03 to port %1").arg(ports.service));
}

void Identification::ws_gisDataAvailable(TWSocket *, quint16) {
    const int n = ws_gis->RcvdCount();
    f.writereport(QStringLiteral("UDP  <- %1 Bytes received").arg(n));
    f.writereport(QString());
    std::array<char, ident::replyBufferSize> buffer{};
    const int got = ws_gis->Receive(buffer.data(), int(buffer.size()));
    const ident::IdentificationReply reply = ident::decodeReply(QByteArray(buffer.data(), qMax(got, 0)));
    f.mm_deviceinfo->setPlainText(reply.lines.join(QLatin1Char('\n')));
    f.articleNumber = reply.articleNumber;
    // A device that names no web port (a short reply, or 0) is asked on the
    // standard port, as after no reply at all: port 0 would otherwise go into
    // every later request and into the saved settings.
    f.ed_httpport->setText(QString::number(reply.wbmPort != 0 ? reply.wbmPort : ports.web));
    m_replyReceived = true;
    f.ti_gis->stop();
    ws_gis->Close();
    if (!f.ed_ip->text().isEmpty())
        startVersionStage();
}

void Identification::ws_gisSessionClosed(TWSocket *, quint16) { ws_gis->Close(); }

void Identification::ti_gisTimer() {
    f.ti_gis->stop();
    f.writereport(QStringLiteral("UDP  <- No Answer from %1\r\n").arg(ports.service));
    f.ed_httpport->setText(QString::number(ports.web));
    ws_gis->Close();
    if (f.ed_ip->text().isEmpty())
        return;
    // as startVersionStage, with the line that says which port is tried
    ws_version->Close();
    ws_version->setAddr(f.ed_ip->text());
    ws_version->setPort(f.ed_httpport->text());
    ws_version->setProto(QStringLiteral("tcp"));
    f.writereport(QStringLiteral("HTTP -> Try to connect to Port %1").arg(ports.web));
    f.ti_version->start();
    ws_version->Connect();
}

// ---- stage 2: the version page -----------------------------------------------------

void Identification::startVersionStage() {
    // A device may keep the connection of an earlier identification open;
    // it is ended here, since a socket that is not closed cannot connect.
    ws_version->Close();
    ws_version->setAddr(f.ed_ip->text());
    ws_version->setPort(f.ed_httpport->text());
    ws_version->setProto(QStringLiteral("tcp"));
    f.ti_version->start();
    ws_version->Connect();
}

void Identification::ws_versionSessionConnected(TWSocket *, quint16) {
    // The code is not examined: after a refused attempt the send finds no
    // connection, the session closes, and the fresh time limit below reports.
    f.ti_version->stop();
    ws_version->SendStr(QStringLiteral("GET /version HTTP/1.1\r\nHost: ") + f.ed_ip->text() +
                        QStringLiteral("\r\n\r\n"));
    f.writereport(QStringLiteral("HTTP -> Send on Port ") + f.ed_httpport->text());
    f.writereport(QStringLiteral("HTTP -> GET /version HTTP/1.1\r\nHTTP -> Host: ") + f.ed_ip->text());
    f.ti_version->start();
}

void Identification::ws_versionDataAvailable(TWSocket *, quint16) {
    const QString text = ws_version->ReceiveStr();
    if (text.isEmpty())
        return;
    f.ti_version->stop();
    f.writereport(QStringLiteral("HTTP <- %1 Bytes received").arg(text.size()));
    f.writereport(QStringLiteral("------------------------------------------------------------"));
    f.writereport(text);
    f.writereport(QStringLiteral("--------------  End of receive  ----------------------------\r\n"));
    if (ident::versionReportsBootFailure(text))
        dialogs().showMessage(QStringLiteral("***** BOOT=FAIL found in Version-String *****"));

    f.legacyDevice = false;
    f.display->pa_co->setText(QString());
    if (m_replyReceived) {
        const ident::ArticleType type = ident::articleType(f.articleNumber);
        f.co_device->setCurrentIndex(type.deviceIndex); // a selection by the program: no handler runs
        f.device40 = type.device40;
        if (type.legacy)
            f.legacyDevice = true;
        else
            f.cb_viernull->setChecked(f.device40);
    }
    // Without a reply in stage 1 the selected type stays; it is applied all
    // the same, so that the window shows what the selector says.
    f.co_deviceChange();
    f.co_modeChange();
}

void Identification::ws_versionSessionClosed(TWSocket *, quint16) {
    f.ti_version->stop();
    ws_version->Close();
}

void Identification::ws_versionError(TWSocket *) {
    f.showErrorHighlight();
    f.ti_version->stop();
    ws_version->Close();
    f.writereport(QStringLiteral("HTTP <- ERROR # GET /version"));
}

void Identification::ti_versionTimer() {
    f.ti_version->stop();
    ws_version->Close();
    f.writereport(QStringLiteral("HTTP <- TIMEOUT # GET /version HTTP/1.1\r\n"));
}

// ---- devices the tool does not know ----------------------------------------------------

QString Identification::fetchPage(const char *path) {
    // One blocking request on a client of its own. A failure is one report
    // line; the look-up goes on with an empty page.
    QString body;
    TIdHTTP http;
    try {
        body = http.Get(QStringLiteral("http://") + f.ed_ip->text() + QLatin1Char(':') +
                        f.ed_httpport->text() + QLatin1String(path));
    } catch (const KError &e) {
        f.writereport(e.kind() + QStringLiteral(" : ") + e.message());
    } catch (const std::exception &e) {
        f.writereport(QStringLiteral("Exception : ") + QString::fromLocal8Bit(e.what()));
    }
    f.writereport(body);
    return body;
}

void Identification::showUnsupported() {
    f.display->setCounterBackground(Qt::black);
    f.display->pa_co->setText(QStringLiteral("                               Device ") +
                              QString::number(f.articleNumber) + QStringLiteral(" not supported"));
}

void Identification::unknownDeviceLookup() {
    const QString article = QString::number(f.articleNumber);
    if (article.contains(QLatin1String("319"))) {
        // the 4.0 generation: the "Input" entries of its configuration page
        getunknownValues(fetchPage(ident::configPagePath));
        showUnsupported();
    } else if (article.contains(QLatin1String("318"))) {
        // the generation before: the values of its "/single" page
        const QStringList values = ident::singlePageValues(fetchPage(ident::singlePagePath));
        for (int k = 0; k < values.size(); ++k) {
            f.display->counterFields[size_t(k)]->setText(values[k]);
            f.display->counterFields[size_t(k)]->show();
        }
        showUnsupported();
    }
}

void Identification::getunknownValues(const QString &jsonstring) {
    const ident::PageValues page = ident::configPageValues(jsonstring);
    for (const QString &piece : page.reported)
        f.writereport(piece);
    for (int k = 0; k < page.values.size(); ++k) {
        f.display->counterFields[size_t(k)]->setText(page.values[k]);
        f.display->counterFields[size_t(k)]->show();
    }
}
