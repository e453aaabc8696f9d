// korvosim: a simulated Korvo device. Prints its ports, serves until SIGINT
// or SIGTERM, then closes every socket and exits with 0.
#include "simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace sim;

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("korvosim");

    SimOptions options;
    QString message;
    if (!Simulator::parseArguments(app.arguments().mid(1), options, &message)) {
        const bool help = app.arguments().contains("--help") || app.arguments().contains("-h") ||
                          app.arguments().contains("--list-types");
        std::fprintf(help ? stdout : stderr, "%s\n", qPrintable(message));
        return help ? 0 : 2;
    }

    // Signals are turned into an event of the loop, so that the exit runs
    // the destructors that close the sockets.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    int rc = 0;
    {
        Simulator sim(options);
        QString error;
        if (!sim.start(&error)) {
            std::fprintf(stderr, "korvosim: %s\n", qPrintable(error));
            return 1;
        }
        const DeviceKind &k = sim.model().kind();
        std::printf("korvosim: device %u %s, %d inputs, %d outputs%s\n", k.article, k.name, k.inputs,
                    k.outputs, k.device40 ? ", 4.0" : "");
        for (const ServiceInfo &s : Simulator::services())
            std::printf("korvosim: %-9s %s %s:%u\n", qPrintable(s.name), s.udp ? "udp" : "tcp",
                        qPrintable(options.bind.toString()), sim.port(s.name));
        if (!options.connectAscii.isEmpty())
            std::printf("korvosim: ascii-client connects to %s\n", qPrintable(options.connectAscii));
        if (!options.connectBinary.isEmpty())
            std::printf("korvosim: binary-client connects to %s\n", qPrintable(options.connectBinary));
        std::printf("korvosim: ready\n");
        std::fflush(stdout);
        rc = app.exec();
    }
    std::fprintf(stderr, "korvosim: stopped\n");
    return rc;
}
