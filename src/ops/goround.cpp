// Output go round: one output after the other switched on alone, wrapping
// after the device type's last output.
#include "app/tform1.h"
#include "core/helpers.h"
#include "core/timers.h"
#include "ops/operations.h"
#include "ops/senders.h"
#include "protocols/ascii/asciicodec.h"

void Operations::goroundAdvance() {
    ++f.goroundStep;
    if (f.goroundStep > f.lastOutput)
        f.goroundStep = 0;
}

void Operations::goroundOneStep() {
    // A step beyond the device's outputs (or the 24 bits of the tables)
    // starts the walk again at output 0.
    if (f.goroundStep > f.lastOutput || f.goroundStep >= ioTableSize)
        f.goroundStep = 0;
    const quint32 word = bitOfIndex[f.goroundStep];
    const QString wordText = QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
    const QString pw = f.ed_password->text();
    const QString outputPath = QStringLiteral("/rest/json/iostate/output/");
    switch (f.currentMode) {
    case modeHttp:
    case modeTcpClient:
    case modeTcpServer:
    case modeUdpPeer:
        // The state word alone, without a mask: every output is written.
        sendText(ascii::setAllOutputs(pw, wordText));
        goroundAdvance();
        break;
    case modeRest:
        // REST addresses single outputs: the current one off, the next one on.
        send().sendRest(QStringLiteral("POST"), outputPath + QString::number(f.goroundStep),
                        QStringLiteral("Set=OFF"));
        goroundAdvance();
        send().sendRest(QStringLiteral("POST"), outputPath + QString::number(f.goroundStep),
                        QStringLiteral("Set=ON"));
        break;
    case modeBinaryClient:
    case modeBinaryServer:
    case modeBinaryUdp:
        send().sendbinary(QStringLiteral("writeregister"), word, 0);
        goroundAdvance();
        break;
    case modeModbus:
        send().sendModbus(QStringLiteral("outputs"), QStringLiteral("set"), word & 0xFFFF);
        goroundAdvance();
        break;
    case modeSnmp:
        send().sendSNMP(QStringLiteral("outputs"), QStringLiteral("set"),
                        quint16(hexToUInt(f.allOutputsMask)), quint16(word));
        goroundAdvance();
        break;
    default: break;
    }
}

void Operations::ti_goroundTimer() {
    if (f.cb_autogoround->isChecked())
        goroundOneStep();
}

void Operations::ed_autogoroundChange() {
    const QString text = f.ed_autogoround->text();
    if (!text.isEmpty())
        setTimerIntervalText(f.ti_goround, text);
}
