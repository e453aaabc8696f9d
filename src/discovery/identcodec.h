#pragma once
// Identification of a Korvo device, the pure part: the reply record of the
// device's identification service (UDP port 8513), the article table that
// maps an article number to a device type, the boot check of the "/version"
// page, and the pages an unknown device is asked for. No sockets, no widgets.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ident {

// The request the identification service answers: 12 characters, no terminator.
inline constexpr char versionRequest[] = "Version 1.03";

// The reply is read into a buffer of this size that is all zeros beforehand:
// a short datagram leaves the missing fields 0, a longer one is cut.
constexpr int replyBufferSize = 512;

// Offsets of the fields the tool relies on (all numbers little-endian).
constexpr int offWbmPort = 40;
constexpr int offEan = 96;

struct IdentificationReply {
    QStringList lines;   // the lines of the device information, in display order
    quint16 wbmPort = 0; // the web server port the device names
    qint64 ean = 0;      // the EAN, signed as the device stores it
    qint32 articleNumber = 0;
};

// Decodes a datagram (any length; only the first 512 bytes count).
IdentificationReply decodeReply(const QByteArray &datagram);

// The article number inside an EAN: of its decimal text, the five characters
// before the last (the check digit) when it has six or more, else the whole
// text. Article numbers have five digits, so they are held in 32 bits.
qint32 articleNumberFromEan(qint64 ean);

// One row of the article table.
struct ArticleType {
    qint32 articleNumber;
    int deviceIndex; // item of the device-type selector
    bool device40;   // a device of the 4.0 generation
    bool legacy;     // an old device without the all-outputs command
};
// The row of articleNumber; any number not in the table gives the unknown type
// (index 11) with both flags false.
ArticleType articleType(qint32 articleNumber);

// The boot message the device puts into its version page when it failed to
// start: "fail" in any case anywhere in the text.
bool versionReportsBootFailure(const QString &versionText);

// ---- unknown devices ----

// Counter fields that exist: the look-up never fills more.
constexpr int maxUnknownFields = 16;

// The configuration page and the single-values page of a device.
inline constexpr char configPagePath[] = "/config.php?&Sess=&Site=%5B0%5D&Auto=1";
inline constexpr char singlePagePath[] = "/single";

struct PageValues {
    QStringList reported; // the pieces of the page written to the report
    QStringList values;   // the texts for counter fields 0, 1, 2, ...
};

// The configuration page: its pieces between the three characters `","` that
// name an "Input" (and no "Alarm"), each reported; the text after the first
// ":" without its first character (the opening quote) is the value. A piece
// without ":" has no value and is skipped; at most 16 values.
PageValues configPageValues(const QString &page);

// The "/single" page: ";"-separated values; a page of a Korvo device starts
// with two fields that are no values (it names "KORVO" somewhere). At most 16.
QStringList singlePageValues(const QString &page);

} // namespace ident
