#include "httpservice.h"

#include "asciiservice.h"
#include "webservice.h"

namespace sim {

void addCommandPages(WebRoutes &routes, DeviceModel &model) {
    // The page is the ASCII command's reply: the target is the command
    // without its "GET ", and the NUL of the ASCII line becomes CR LF.
    const auto command = [&model](const WebRequest &r) {
        AsciiService ascii(model);
        WebReply reply = WebReply::text(ascii.replyText("GET " + r.target) + "\r\n");
        reply.contentType = "text/html";
        return reply;
    };
    for (const char *page : {"/allout", "/input", "/output"})
        routes.add(page, command, "GET");
    // "/counterclear" starts with "/counter": one prefix serves both, and
    // "/outputaccess" with its index.
    routes.addPrefix("/counter", command, "GET");
    routes.addPrefix("/outputaccess", command, "GET");
}

} // namespace sim
