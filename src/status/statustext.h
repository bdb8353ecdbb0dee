#pragma once

#include "statusrecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <expected>

namespace velmora {

// A line of text with fields in braces, "{down} {flag}"; "{{" and "}}" stand for braces.
class StatusTemplate
{
public:
    // The template, or why it cannot be one: the unknown field's name, or an unclosed brace.
    static std::expected<StatusTemplate, QString> parse(const QString &text);
    // The fields a template may hold, in the order --help lists them.
    static QStringList fieldNames();

    QString format(const StatusRecord &record) const;

private:
    struct Piece
    {
        QString text; // literal text, or the field's name
        bool isField = false;
    };
    QList<Piece> m_pieces;
};

// A field's value: rates formatted in the record's unit as the tray shows them, the flag as
// its emoji, "VPN" or nothing for vpn; empty for a field there is no value for yet.
QString statusField(const StatusRecord &record, const QString &field);

// The line `velmora status` prints unless told otherwise: the rates, then the flag and the
// public address once known: "↓ 1.9 Mb/s ↑ 456 Kb/s · 🇩🇪 203.0.113.7".
QString statusLine(const StatusRecord &record);

// The JSON object a waybar custom module reads, as one line: the rates as text, the place and
// the network as its tool tip, and a class for styling: "offline", "vpn" or "online".
QByteArray waybarLine(const StatusRecord &record);

} // namespace velmora
