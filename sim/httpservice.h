#pragma once
// The command URLs of the device's web server: the ASCII commands as pages
// ("GET /allout?PW=secret& HTTP/1.1"), each answered by a short page whose
// body is the command's state line ended by CR LF:
//   input;IIII;output;OOOO;counter;c0;c1;...
// A wrong password or an unknown command gives the ASCII error line
// (error;password, error;command, ...) as the page, with status 200, as the
// device's web server does.
namespace sim {

class DeviceModel;
class WebRoutes;

// Adds /allout, /input, /output, /counter[N], /counterclear[N] and
// /outputaccess[N] to routes.
void addCommandPages(WebRoutes &routes, DeviceModel &model);

} // namespace sim
