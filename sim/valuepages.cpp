#include "valuepages.h"

#include "devicemodel.h"
#include "webservice.h"

namespace sim {

QByteArray singlePage(const DeviceModel &model) {
    QList<QByteArray> fields = {"KORVO", model.kind().name};
    for (int i = 0; i < model.inputCount(); ++i)
        fields << QByteArray::number(model.counter(i));
    return fields.join(';');
}

QByteArray configPage(const DeviceModel &model) {
    const auto entry = [](const QByteArray &key, const QByteArray &value) {
        return '"' + key + "\":\"" + value + '"';
    };
    QList<QByteArray> entries = {entry("Name", "KORVO " + QByteArray(model.kind().name))};
    for (int i = 0; i < model.inputCount(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        entries << entry("Input " + n, QByteArray::number(model.counter(i)));
        entries << entry("Alarm Input " + n, "0");
    }
    for (int i = 0; i < model.outputCount(); ++i)
        entries << entry("Output " + QByteArray::number(i + 1), (model.outputs() >> i) & 1 ? "1" : "0");
    return '{' + entries.join(',') + '}';
}

void addValuePages(WebRoutes &routes, const DeviceModel &model) {
    routes.add("/single", [&model](const WebRequest &) { return WebReply::text(singlePage(model)); });
    routes.add("/config.php", [&model](const WebRequest &) {
        WebReply r = WebReply::text(configPage(model));
        r.contentType = "application/json";
        return r;
    });
}

} // namespace sim
