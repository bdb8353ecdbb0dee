#include "jsonfields.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>

namespace velmora::JsonFields {

namespace {

GeoError mistyped(const QString &key, const QString &path, const char *expected)
{
    const QString name = path.isEmpty() ? key : path + u'.' + key;
    return GeoError::decoding(QStringLiteral("Unexpected answer: \"%1\" is not %2")
                                  .arg(name, QLatin1StringView(expected)));
}

template<typename T, typename Accept, typename Convert>
Field<T> read(const QJsonObject &object, const QString &key, const QString &path,
              const char *expected, Accept accept, Convert convert)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<T>();
    if (!accept(value))
        return std::unexpected(mistyped(key, path, expected));
    return std::optional<T>(convert(value));
}

bool isWholeNumber(const QJsonValue &value)
{
    // toInteger() gives its default unless the number is whole and fits in 64 bits.
    return value.isDouble() && value.toInteger(0) == value.toInteger(1);
}

} // namespace

std::expected<QJsonObject, GeoError> parseObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::unexpected(
            GeoError::decoding(QStringLiteral("Unexpected answer: not valid JSON (%1 at offset %2)")
                                   .arg(error.errorString())
                                   .arg(error.offset)));
    if (!document.isObject())
        return std::unexpected(
            GeoError::decoding(QStringLiteral("Unexpected answer: not a JSON object")));
    return document.object();
}

Field<QString> text(const QJsonObject &object, const QString &key, const QString &path)
{
    return read<QString>(
        object, key, path, "a string", [](const QJsonValue &v) { return v.isString(); },
        [](const QJsonValue &v) { return plainText(v.toString()); });
}

Field<bool> boolean(const QJsonObject &object, const QString &key, const QString &path)
{
    return read<bool>(
        object, key, path, "a Boolean", [](const QJsonValue &v) { return v.isBool(); },
        [](const QJsonValue &v) { return v.toBool(); });
}

Field<qint64> integer(const QJsonObject &object, const QString &key, const QString &path)
{
    return read<qint64>(object, key, path, "an integer", isWholeNumber,
                        [](const QJsonValue &v) { return v.toInteger(); });
}

Field<QJsonObject> object(const QJsonObject &object, const QString &key, const QString &path)
{
    return read<QJsonObject>(
        object, key, path, "an object", [](const QJsonValue &v) { return v.isObject(); },
        [](const QJsonValue &v) { return v.toObject(); });
}

QString plainText(const QString &text)
{
    // These texts reach tool tips, bus properties and terminals: a direction override would
    // show the user a different text than the one sent, an escape could drive a terminal, and
    // a name no place has costs memory and time wherever it is drawn.
    const auto isBreak = [](char16_t c) {
        return c == u'\t' || c == u'\n' || c == u'\r' || c == u'\u0085' || c == u'\u2028' ||
               c == u'\u2029';
    };
    const auto isDropped = [](char16_t c) {
        return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) ||
               (c >= 0x2066 && c <= 0x2069);
    };
    QString plain;
    plain.reserve(std::min(text.size(), maxTextLength + 1));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineBreak = isBreak(c.unicode());
        if (!lineBreak && isDropped(c.unicode()))
            continue;
        // Half a surrogate pair is no character at all.
        const bool paired = c.isHighSurrogate()
                                ? i + 1 < text.size() && text[i + 1].isLowSurrogate()
                            : c.isLowSurrogate() ? i > 0 && text[i - 1].isHighSurrogate()
                                                 : true;
        if (!paired)
            continue;
        if (plain.size() == maxTextLength) {
            if (plain.back().isHighSurrogate())
                plain.chop(1);
            plain.append(u'\u2026');
            break;
        }
        plain.append(lineBreak ? QChar(u' ') : c);
    }
    return plain;
}

} // namespace velmora::JsonFields
