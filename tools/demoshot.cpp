// Pictures the live demo for the README: korvosim (in this process, on its
// default ports where they are free) and the real window driven through its
// controls as a user would: mode "TCP Client ", address 127.0.0.1, the ASCII
// port, Connect; then the window reads everything every 200 ms while the
// simulated inputs count, and after a few seconds the window is saved as PNG.
//   demoshot [file.png]   (run with QT_QPA_PLATFORM=offscreen or under X)
#include "app/tform1.h"
#include "core/guard.h"
#include "protocols/ascii/asciicodec.h"
#include "protocols/ascii/asciitcpclient.h"
#include "simulator.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {
class QuietDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override {
        std::fprintf(stderr, "demoshot: %s\n", qPrintable(text));
    }
};
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshot.png");

    sim::SimOptions options;
    options.tickMs = 150;
    options.ports["reset"] = 0; // no reset or identification in the picture
    options.ports["ident"] = 0;
    auto device = std::make_unique<sim::Simulator>(options);
    QString error;
    if (!device->start(&error)) {
        options.ports = sim::SimOptions::forTest().ports; // defaults taken: any free ports
        device = std::make_unique<sim::Simulator>(options);
        if (!device->start(&error)) {
            std::fprintf(stderr, "demoshot: %s\n", qPrintable(error));
            return 1;
        }
    }

    QuietDialogs dialogs;
    setDialogs(&dialogs);
    QTemporaryDir dir; // no configuration file of a developer's run
    {
        TForm1 form(dir.path() + QLatin1Char('/'));
        form.show();
        auto pick = [](QComboBox *combo, int index) {
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        };
        pick(form.co_mode, modeTcpClient);
        pick(form.co_device, 7); // "16In/Out"
        form.ed_ip->setText(QStringLiteral("127.0.0.1"));
        form.ed_tcpasciiport->setText(QString::number(device->port("ascii-tcp")));
        form.bt_connect->click();

        // Some outputs on, then what "Get All" with "auto" does: read all.
        QTimer::singleShot(300, &form, [&] {
            form.asciiClient->sendASCII(
                ascii::setOutputs(QString(), QStringLiteral("FFFF"), QStringLiteral("A5C3")));
        });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &form,
                         [&] { form.asciiClient->sendASCII(ascii::readAll(form.ed_password->text())); });
        poll.start(200);
        QTimer::singleShot(4000, &form, [&] {
            poll.stop();
            const bool ok = form.grab().save(out);
            std::printf(ok ? "wrote %s\n" : "could not write %s\n", qPrintable(out));
            app.exit(ok ? 0 : 1);
        });
        const int rc = app.exec();
        setDialogs(nullptr);
        return rc;
    }
}
