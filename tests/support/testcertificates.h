#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace velmora {

// Certificates made fresh for one test run with the openssl tool, in a temporary directory
// removed with this object: a test certificate authority with a server certificate for
// "localhost" and 127.0.0.1, and an unrelated authority with a server certificate for the
// same names that nothing trusts. The test authority also signs one for another name only.
class TestCertificates
{
public:
    // Runs openssl (bounded); isValid() tells whether everything was made. The server
    // certificates also carry moreHostNames.
    explicit TestCertificates(const QStringList &moreHostNames = {});

    bool isValid() const { return m_error.isEmpty(); }
    // Which openssl step failed and what it printed; empty when valid.
    QString errorString() const { return m_error; }

    // Read back from the files, as everything here.
    QSslCertificate caCertificate() const { return serverSide(u"ca"_qs).localCertificate(); }
    // The server side of TLS with the certificate the test authority signed.
    QSslConfiguration serverConfiguration() const { return serverSide(u"server"_qs); }
    // The server side of TLS with the certificate the untrusted authority signed.
    QSslConfiguration untrustedServerConfiguration() const { return serverSide(u"untrusted"_qs); }
    QSslConfiguration wrongNameServerConfiguration() const { return serverSide(u"elsewhere"_qs); }

    // A directory holding only the test authority's certificate and its `openssl rehash` link,
    // usable in place of a system certificate directory.
    QString caDirectory() const { return path(QStringLiteral("ca-only")); }

private:
    bool run(const QStringList &arguments);
    bool make(const QString &name, const QString &signer = {}, const QString &flaw = {});
    QSslConfiguration serverSide(const QString &name) const;
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_error;
};

} // namespace velmora
