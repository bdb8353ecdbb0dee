#pragma once

#include "geoerror.h"

#include <QByteArray>
#include <QJsonObject>

#include <expected>
#include <optional>

namespace velmora::JsonFields {

// Strict reading of optional fields from provider answers: a missing key or null leaves
// the field absent; a value of another JSON type is a decoding error naming the key.
template<typename T> using Field = std::expected<std::optional<T>, GeoError>;

std::expected<QJsonObject, GeoError> parseObject(const QByteArray &body);
// Texts come out as plainText makes them.
Field<QString> text(const QJsonObject &object, const QString &key, const QString &path = {});
Field<bool> boolean(const QJsonObject &object, const QString &key, const QString &path = {});
Field<qint64> integer(const QJsonObject &object, const QString &key, const QString &path = {});
Field<QJsonObject> object(const QJsonObject &object, const QString &key, const QString &path = {});

// A provider's text as it may be shown anywhere: line breaks and tabs become spaces; other
// control characters and the characters that override or isolate the text direction go; cut
// to maxTextLength characters, marked with "…", never inside a surrogate pair.
inline constexpr qsizetype maxTextLength = 200;
QString plainText(const QString &text);

} // namespace velmora::JsonFields
