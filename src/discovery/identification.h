#pragma once
// "Identify": finds out which device sits at the address in ed_ip and sets
// the window up for it, in two stages.
//  1. "Version 1.03" to the device's identification service (UDP 8513); the
//     reply record names the web server port and the EAN, whose digits give
//     the article number. No reply within ti_gis (500 ms): web port 80.
//  2. "GET /version" to the web server (ti_version, 3000 ms for the
//     connection and again for the reply). Every piece of the reply is shown
//     and checked for a boot failure; then the article number selects the
//     device type, and the device-type change and the mode switch run.
// A device type the tool does not know ("UNKOWN") makes the device-type
// change look up the device's own pages (unknownDeviceLookup), which block
// the window while they run.
//
// ws_gis has no error handler: its failures are thrown to the caller of the
// operation (the click, or start-up, which catches them).
#include <QObject>
#include <QString>

class TForm1;
class TWSocket;

// The ports identification talks to. The device's are fixed; tests point
// them at peers of their own on 127.0.0.1.
struct IdentificationPorts {
    quint16 service = 8513; // the identification service (UDP)
    quint16 web = 80;       // the web server when the device does not name one
};

class Identification : public QObject {
    Q_OBJECT
public:
    // The ports a new window starts with (start-up identifies at once).
    static IdentificationPorts defaultPorts;

    explicit Identification(TForm1 &form);

    IdentificationPorts ports = defaultPorts;
    TWSocket *ws_gis;
    TWSocket *ws_version;

    void bt_scanClick();
    void ws_gisDataAvailable(TWSocket *Sender, quint16 ErrCode);
    void ws_gisSessionClosed(TWSocket *Sender, quint16 ErrCode);
    void ti_gisTimer();

    void ws_versionSessionConnected(TWSocket *Sender, quint16 Error);
    void ws_versionDataAvailable(TWSocket *Sender, quint16 Error);
    void ws_versionSessionClosed(TWSocket *Sender, quint16 Error);
    void ws_versionError(TWSocket *Sender);
    void ti_versionTimer();

    // The look-up of a device type the tool does not know (type "UNKOWN").
    void unknownDeviceLookup();
    // Fills counter fields with the "Input" values of a configuration page.
    void getunknownValues(const QString &jsonstring);

private:
    void startVersionStage();
    QString fetchPage(const char *path);
    void showUnsupported();

    TForm1 &f;
    // Stage 1 of the identification under way got a reply. Without one the
    // article number is an earlier device's and must not select a type.
    bool m_replyReceived = false;
};
