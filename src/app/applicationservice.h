#pragma once

#include "applicationrequest.h"
#include "singleinstance.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <expected>
#include <optional>

namespace velmora {

// Keeps Velmora to one instance per session: the first instance owns the application's name
// on the session bus and serves the desktop's activation interface there; later starts hand
// their request to it and end.
class ApplicationService : public QObject
{
    Q_OBJECT

public:
    static QString serviceName();
    static QString objectPath();

    // When owned, requests arrive as signals.
    using Claim = InstanceClaim;

    explicit ApplicationService(QObject *parent = nullptr);

    // Tries to become the session's instance. On noBus, reason says why.
    Claim claim(QString *reason = nullptr);

    // Asks the running instance to open urls, or to activate itself when there are none.
    // The error is the bus's text when the call fails.
    static std::expected<void, QString> forward(const QStringList &urls);

    // Emits requested, or logs why a call was refused.
    void handle(const std::expected<ApplicationRequest, QString> &request);

Q_SIGNALS:
    void requested(velmora::ApplicationRequest request);
};

} // namespace velmora
