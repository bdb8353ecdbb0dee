#include "statustext.h"

#include "flag.h"
#include "preferences.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

QString rate(const StatusRecord &record, double bytesPerSecond)
{
    const auto unit = Preferences::fromRawValue<Preferences::SpeedUnit>(record.speedUnit)
                          .value_or(Preferences::SpeedUnit::bits);
    return Preferences::formatRate(bytesPerSecond, unit);
}

QString number(double value)
{
    return QString::number(qRound64(value > 0 ? value : 0));
}

QString rates(const StatusRecord &record)
{
    return u"\u2193 %1 \u2191 %2"_s.arg(rate(record, record.downloadRate),
                                        rate(record, record.uploadRate));
}

QString place(const StatusRecord &record)
{
    QStringList parts;
    for (const QString &part : {record.city, record.country})
        if (!part.isEmpty())
            parts << part;
    return parts.join(u", "_s);
}

} // namespace

QStringList StatusTemplate::fieldNames()
{
    return {u"down"_s,    u"up"_s,           u"down_bytes"_s, u"up_bytes"_s, u"flag"_s,
            u"country"_s, u"country_code"_s, u"city"_s,       u"ip"_s,       u"local_ip"_s,
            u"isp"_s,     u"vpn"_s,          u"connection"_s};
}

std::expected<StatusTemplate, QString> StatusTemplate::parse(const QString &text)
{
    StatusTemplate parsed;
    QString literal;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if ((c == u'{' || c == u'}') && doubled) {
            literal += c;
            ++i;
        } else if (c == u'{') {
            const qsizetype close = text.indexOf(u'}', i + 1);
            if (close < 0)
                return std::unexpected(u"an unclosed \"{\""_s);
            const QString name = text.mid(i + 1, close - i - 1);
            if (!fieldNames().contains(name))
                return std::unexpected(u"unknown field \"{%1}\""_s.arg(name));
            if (!literal.isEmpty())
                parsed.m_pieces.append({std::exchange(literal, {}), false});
            parsed.m_pieces.append({name, true});
            i = close;
        } else if (c == u'}') {
            return std::unexpected(u"a \"}\" that closes nothing"_s);
        } else {
            literal += c;
        }
    }
    if (!literal.isEmpty())
        parsed.m_pieces.append({literal, false});
    return parsed;
}

QString StatusTemplate::format(const StatusRecord &record) const
{
    QString line;
    for (const Piece &piece : m_pieces)
        line += piece.isField ? statusField(record, piece.text) : piece.text;
    return line;
}

QString statusField(const StatusRecord &record, const QString &field)
{
    if (field == u"down")
        return rate(record, record.downloadRate);
    if (field == u"up")
        return rate(record, record.uploadRate);
    if (field == u"down_bytes")
        return number(record.downloadRate);
    if (field == u"up_bytes")
        return number(record.uploadRate);
    if (field == u"flag")
        return record.countryCode.isEmpty() ? QString() : Flag::emoji(record.countryCode);
    if (field == u"country")
        return record.country;
    if (field == u"country_code")
        return record.countryCode;
    if (field == u"city")
        return record.city;
    if (field == u"ip")
        return record.publicIP;
    if (field == u"local_ip")
        return record.localIP;
    if (field == u"isp")
        return record.isp;
    if (field == u"vpn")
        return record.vpnLikely ? u"VPN"_s : QString();
    if (field == u"connection")
        return record.connectionType;
    return {};
}

QString statusLine(const StatusRecord &record)
{
    if (record.publicIP.isEmpty())
        return rates(record);
    const QString flag = statusField(record, u"flag"_s);
    return u"%1 \u00B7 %2%3"_s.arg(rates(record), flag.isEmpty() ? QString() : flag + u' ',
                                   record.publicIP);
}

QByteArray waybarLine(const StatusRecord &record)
{
    QStringList tooltip;
    if (!record.publicIP.isEmpty())
        tooltip << u"%1 %2"_s.arg(statusField(record, u"flag"_s), record.publicIP).trimmed();
    if (const QString where = place(record); !where.isEmpty())
        tooltip << where;
    if (!record.isp.isEmpty())
        tooltip << record.isp;
    if (!record.geoError.isEmpty())
        tooltip << record.geoError;
    QString network = record.connectionType;
    if (!record.localIP.isEmpty())
        network += u" \u00B7 "_s + record.localIP;
    if (record.vpnLikely)
        network += u" \u00B7 VPN"_s;
    tooltip << network;
    const QString kind = !record.online ? u"offline"_s : record.vpnLikely ? u"vpn"_s : u"online"_s;
    const QJsonObject line{
        {u"text"_s, rates(record)}, {u"tooltip"_s, tooltip.join(u'\n')}, {u"class"_s, kind}};
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

} // namespace velmora
