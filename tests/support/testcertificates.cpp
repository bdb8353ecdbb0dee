#include "testcertificates.h"

#include "testhelpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSslKey>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Our own configuration, so the machine's openssl.cnf cannot add or change extensions.
constexpr QByteArrayView opensslConfig =
    "[req]\ndistinguished_name = dn\n[dn]\n"
    "[authority]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\n"
    "subjectKeyIdentifier = hash\n"
    "[server]\nbasicConstraints = critical, CA:FALSE\nkeyUsage = critical, digitalSignature\n"
    "extendedKeyUsage = serverAuth\nsubjectAltName = DNS:localhost, IP:127.0.0.1%1\n"
    "subjectKeyIdentifier = hash\nauthorityKeyIdentifier = keyid\n"
    "[elsewhere]\nextendedKeyUsage = serverAuth\nsubjectAltName = DNS:elsewhere.invalid\n";

} // namespace

TestCertificates::TestCertificates(const QStringList &moreHostNames)
{
    const QString names =
        moreHostNames.isEmpty() ? QString() : u", DNS:"_s + moreHostNames.join(u", DNS:"_s);
    // Without it every openssl step fails, and says so.
    std::ignore = test::writeFile(path(u"openssl.cnf"_s),
                                  QString::fromLatin1(opensslConfig).arg(names).toUtf8());
    if (!make(u"ca"_s) || !make(u"untrusted-ca"_s) || !make(u"server"_s, u"ca"_s) ||
        !make(u"untrusted"_s, u"untrusted-ca"_s) || !make(u"elsewhere"_s, u"ca"_s, u"elsewhere"_s))
        return;
    if (!QDir().mkpath(caDirectory()) ||
        !QFile::copy(path(u"ca.pem"_s), caDirectory() + u"/ca.pem"_s) ||
        !run({u"rehash"_s, caDirectory()}))
        m_error.prepend(u"Cannot fill "_s + caDirectory() + u' ');
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess openssl; // killed, should it still run when it goes
    openssl.setWorkingDirectory(m_dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(u"openssl"_s, arguments);
    const bool finished = openssl.waitForFinished(30'000);
    if (finished && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0)
        return true;
    m_error = u"openssl %1 failed: %2 %3"_s.arg(arguments.join(u' '), openssl.errorString(),
                                                QString::fromLocal8Bit(openssl.readAll()));
    return false;
}

// name.pem and name.key: an authority when there is no signer, else a server certificate for
// "localhost" and 127.0.0.1 that signer signed; flaw "elsewhere" names another host only.
bool TestCertificates::make(const QString &name, const QString &signer, const QString &flaw)
{
    const QString serial = QString::number(QRandomGenerator::global()->generate64() >> 1);
    // P-256 keys take milliseconds to make, where RSA keys take noticeably longer.
    QStringList arguments = u"req -x509 -days 2 -nodes -config openssl.cnf -newkey ec -pkeyopt "
                            "ec_paramgen_curve:P-256 -keyout %1.key -out %1.pem"_s.arg(name)
                                .split(u' ');
    if (signer.isEmpty())
        return run(arguments << u"-extensions"_s << u"authority"_s << u"-subj"_s
                             << u"/CN=Velmora test authority "_s + name);
    // A fresh serial each run: issuer and serial together name a certificate.
    return run(arguments << u"-extensions"_s << (flaw.isEmpty() ? u"server"_s : flaw) << u"-subj"_s
                         << u"/CN=localhost"_s << u"-CA"_s << signer + u".pem"_s << u"-CAkey"_s
                         << signer + u".key"_s << u"-set_serial"_s << serial);
}

QSslConfiguration TestCertificates::serverSide(const QString &name) const
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path(name + u".pem"_s));
    QFile key(path(name + u".key"_s));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (certificates.size() == 1 && key.open(QIODevice::ReadOnly)) {
        configuration.setLocalCertificate(certificates.first());
        configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
    }
    return configuration;
}

} // namespace velmora
