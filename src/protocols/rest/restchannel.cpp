#include "protocols/rest/restchannel.h"

#include "app/tform1.h"
#include "net/tidhttp.h"
#include "protocols/rest/restcodec.h"

#include <memory>

RestChannel::RestChannel(TForm1 &form) : QObject(&form), f(form) {
    f.onClick(f.bt_reststart, [this] { bt_reststartClick(); });
}

void RestChannel::bt_reststartClick() {
    if (f.bt_reststart->text() != QLatin1String("Start")) {
        f.bt_reststart->setText(QStringLiteral("Start"));
        f.restRunning = false;
        return;
    }
    f.bt_reststart->setText(QStringLiteral("Stop"));
    f.clearReport();
    if (f.currentMode != modeRest)
        return;
    f.restRunning = true;
    sendRest(QStringLiteral("GET"), rest::allPath(), QString());
}

void RestChannel::sendRest(const QString &restmethod, const QString &restcommand, const QString &restparam) {
    if (!f.restRunning)
        return;
    const QString url = rest::url(f.ed_ip->text(), f.ed_httpport->text(), restcommand);
    f.writereport(QStringLiteral("Rest -> ") + url);

    std::unique_ptr<TIdHTTP> client;
    try {
        client = std::make_unique<TIdHTTP>();
    } catch (const std::exception &e) {
        f.writereport(QStringLiteral("hurtz %1").arg(QString::fromUtf8(e.what())));
        return; // without a client there is no request to make
    }
    client->connectTimeoutMs = connectTimeoutMs;
    client->totalTimeoutMs = totalTimeoutMs;
    client->UserName = QStringLiteral("admin");
    client->Password = f.ed_password->text();

    const bool post = restmethod == QLatin1String("POST");
    QStringList params;
    if (post && !restparam.isEmpty()) {
        f.writereport(QStringLiteral("Rest -> POST Parameter = ") + restparam);
        params << restparam;
    }
    QString body;
    const auto attempt = [&] {
        try {
            if (post)
                body = client->Post(url, params.isEmpty() ? nullptr : &params);
            else
                body = client->Get(url);
        } catch (const KError &e) {
            f.writereport(e.kind() + QStringLiteral(" : ") + e.message());
        }
    };
    if (!post && restmethod != QLatin1String("GET"))
        return;
    attempt();
    // The device's first answer is a 401 with its challenge; the second
    // attempt on the same client answers it. Whether the first call threw
    // does not matter: a blank password makes both fail, and both are reported.
    if (client->ResponseCode == 401)
        attempt();
    if (client->ResponseCode == 200)
        resttoiostate(body, restmethod);
}

void RestChannel::resttoiostate(const QString &receivestring, const QString &) {
    for (const QString &line : rest::receiveReport(receivestring))
        f.writereport(line);
    for (const QString &line : rest::readReply(receivestring, f.io))
        f.writereport(line);
    f.IOstateToDisplay();
}
