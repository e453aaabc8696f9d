#include "discovery/identcodec.h"

#include "core/helpers.h"

#include <array>
#include <cstring>

namespace ident {

namespace {

using Buffer = std::array<unsigned char, replyBufferSize>;

quint64 little(const Buffer &b, int offset, int size) {
    quint64 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | b[size_t(offset + i)];
    return v;
}

QString hex(quint64 value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// A character field: one Latin-1 character per byte that is not 0. Zero
// bytes are skipped wherever they stand; they do not end the text.
QString characters(const Buffer &b, int offset, int size) {
    QString text;
    for (int i = offset; i < offset + size; ++i) {
        if (b[size_t(i)] != 0)
            text += QChar(b[size_t(i)]);
    }
    return text;
}

// bytes 3, 4 and 5 of the six-byte MAC field, each followed by one blank
QString macTail(const Buffer &b, int offset) {
    QString text;
    for (int i = 3; i < 6; ++i)
        text += hex(b[size_t(offset + i)], 2) + QLatin1Char(' ');
    return text;
}

QString address(const Buffer &b, int offset) { return longwordtoipstring(quint32(little(b, offset, 4))); }

} // namespace

IdentificationReply decodeReply(const QByteArray &datagram) {
    Buffer b{};
    std::memcpy(b.data(), datagram.constData(), size_t(qMin<qsizetype>(datagram.size(), replyBufferSize)));

    IdentificationReply r;
    r.wbmPort = quint16(little(b, offWbmPort, 2));
    r.ean = qint64(little(b, offEan, 8));
    r.articleNumber = articleNumberFromEan(r.ean);

    const auto line = [&r](const char *label, const QString &value) {
        r.lines << QLatin1String(label) + value;
    };
    line("GIS-Verion   : ", hex(little(b, 0, 2), 4));
    line("GIS-Length   : ", hex(little(b, 2, 2), 4));
    line("Version      : ", hex(little(b, 4, 4), 8));
    line("Serial No.   : ", hex(little(b, 8, 8), 16));
    line("L No HW      : ", hex(little(b, 16, 8), 16));
    line("L No SW      : ", hex(little(b, 24, 8), 16));
    line("Update line  : ", hex(little(b, 32, 8), 16));
    line("WBM-Port     : ", hex(r.wbmPort, 4));
    line("System Name  : ", characters(b, 44, 48));
    line("System Flag  : ", hex(little(b, 92, 4), 8));
    line("EAN No       : ", QString::number(r.ean));
    line("System Name  : ", characters(b, 104, 64));
    line("System Name  : ", characters(b, 168, 48));
    line("SW Version   : ", hex(little(b, 216, 8), 16));
    line("Mac-Address  : ", macTail(b, 260));
    line("IP-Address   : ", address(b, 266));
    line("Subnet-Mask  : ", address(b, 274));
    line("Gateway      : ", address(b, 270));
    return r;
}

qint32 articleNumberFromEan(qint64 ean) {
    const QString text = QString::number(ean);
    const QString digits = text.size() >= 6 ? text.mid(text.size() - 6, 5) : text;
    // Five characters (or fewer) of a decimal text: always a number within
    // 32 bits; a lone sign cannot occur, since a sign is followed by digits.
    return tryStrToInt(digits).value_or(0);
}

namespace {

constexpr int unknownType = 11;

constexpr ArticleType articleTable[] = {
    {31830, 5, false, false}, {31831, 5, false, false}, {31832, 8, false, false}, {31833, 1, false, true},
    {31834, 4, false, false}, {31837, 1, false, false}, {31838, 1, false, false}, {31850, 3, false, false},
    {31930, 5, true, false},  {31931, 5, true, false},  {31932, 0, true, false},  {31933, 2, true, false},
    {31934, 4, true, false},  {31936, 7, true, false},  {31937, 1, true, false},  {31938, 6, true, false},
    {32032, 9, true, false},  {32038, 10, true, false},
};

} // namespace

ArticleType articleType(qint32 articleNumber) {
    for (const ArticleType &row : articleTable) {
        if (row.articleNumber == articleNumber)
            return row;
    }
    return {articleNumber, unknownType, false, false};
}

bool versionReportsBootFailure(const QString &versionText) {
    return versionText.contains(QLatin1String("fail"), Qt::CaseInsensitive);
}

PageValues configPageValues(const QString &page) {
    PageValues out;
    for (const QString &piece : split(QStringLiteral("\",\""), page)) {
        if (out.values.size() >= maxUnknownFields)
            break;
        if (!piece.contains(QLatin1String("Input")) || piece.contains(QLatin1String("Alarm")))
            continue;
        out.reported << piece;
        const QStringList parts = split(QStringLiteral(":"), piece);
        if (parts.size() < 2)
            continue; // no value in this piece
        out.values << parts[1].mid(1);
    }
    return out;
}

QStringList singlePageValues(const QString &page) {
    QStringList fields = split(QStringLiteral(";"), page);
    if (page.contains(QLatin1String("KORVO")))
        fields = fields.mid(2); // the device's name and kind come first
    return fields.mid(0, maxUnknownFields);
}

} // namespace ident
