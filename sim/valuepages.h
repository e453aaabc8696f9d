#pragma once
// Two web pages on which a device shows its input values, as the tool reads
// them from a device type it does not know:
//  - "/single": the values separated by ";", after two fields that name the
//    device ("KORVO" and its type): "KORVO;16In/Out;5;0;12";
//  - "/config.php" (the configuration page, asked for with the query
//    "?&Sess=&Site=%5B0%5D&Auto=1"): a flat JSON object whose "Input n"
//    entries carry the counter of input n, with an "Alarm Input n" entry
//    beside each and the outputs after them:
//    {"Name":"KORVO 16In/Out","Input 1":"5","Alarm Input 1":"0",...,"Output 1":"0"}
#include <QByteArray>

namespace sim {

class DeviceModel;
class WebRoutes;

QByteArray singlePage(const DeviceModel &model);
QByteArray configPage(const DeviceModel &model);

void addValuePages(WebRoutes &routes, const DeviceModel &model);

} // namespace sim
