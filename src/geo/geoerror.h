#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// Why a lookup, a provider's answer or one request failed, with the text the user sees.
class GeoError
{
public:
    enum class Kind {
        badResponse,        // a provider answered, but unusably; the text says why
        allProvidersFailed, // every provider failed; one text each, in the order asked
        decoding,           // the answer was not JSON of the expected shape
        transport,          // the request itself failed (no route, time-out, certificate, ...)
    };

    static GeoError badResponse(const QString &text) { return GeoError(Kind::badResponse, {text}); }
    static GeoError allProvidersFailed(const QStringList &failures)
    {
        return GeoError(Kind::allProvidersFailed, failures);
    }
    static GeoError decoding(const QString &description)
    {
        return GeoError(Kind::decoding, {description});
    }
    static GeoError transport(const QString &description)
    {
        return GeoError(Kind::transport, {description});
    }

    Kind kind() const { return m_kind; }
    // The per-provider texts of allProvidersFailed; the one text of every other kind.
    const QStringList &texts() const { return m_texts; }
    // "Lookup failed: " and the texts joined by "; " for allProvidersFailed; the text itself
    // for every other kind.
    QString errorDescription() const;

    friend bool operator==(const GeoError &, const GeoError &) = default;

private:
    GeoError(Kind kind, QStringList texts)
        : m_kind(kind)
        , m_texts(std::move(texts))
    {}

    Kind m_kind;
    QStringList m_texts;
};

} // namespace velmora
