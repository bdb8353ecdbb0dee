#pragma once

// Small helpers several tests share: files, awaiting a task, and what Qt itself reports.

#include "testcertificates.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace velmora::test {

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the folders on the way.
inline bool writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           (!executable || file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
}

// The task's result once it has ended, resumed on this thread; nothing when it has not ended
// within ms. Shared, so a task still running after a failed test has somewhere valid to write.
template<typename T> std::optional<T> awaitWithin(QCoro::Task<T> task, int ms)
{
    const auto result = std::make_shared<std::optional<T>>();
    [[maybe_unused]] const QCoro::Task<> waiting = [](QCoro::Task<T> task,
                                                      auto result) -> QCoro::Task<> {
        *result = co_await std::move(task);
    }(std::move(task), result);
    if (!QTest::qWaitFor([&] { return result->has_value(); }, ms))
        return std::nullopt;
    return std::move(*result);
}

// A loopback URL on a port that was free a moment ago and that nothing listens on now.
inline QUrl unusedLocalUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
}

// Who answers a test's requests: a plain server, a TLS one with a trusted or an untrusted
// certificate, or nobody (see unusedLocalUrl).
enum class Peer { plain, tls, untrusted, nobody };

inline std::optional<QSslConfiguration> tlsFor(Peer peer, const TestCertificates &certificates)
{
    if (peer == Peer::tls)
        return certificates.serverConfiguration();
    if (peer == Peer::untrusted)
        return certificates.untrustedServerConfiguration();
    return std::nullopt;
}

// What Qt itself reports for a GET of url, to compare transport failures with.
inline std::pair<QNetworkReply::NetworkError, QString> qtFailure(const QUrl &url)
{
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    QSignalSpy(reply.get(), &QNetworkReply::finished).wait(10'000); // else no error to compare
    return {reply->error(), reply->errorString()};
}

} // namespace velmora::test
