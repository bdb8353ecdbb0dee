#include "testcertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

namespace velmora {

namespace {

// Our own configuration, so the machine's openssl.cnf cannot add or change extensions.
constexpr QByteArrayView opensslConfig = "[req]\n"
                                         "distinguished_name = dn\n"
                                         "[dn]\n"
                                         "[authority]\n"
                                         "basicConstraints = critical, CA:TRUE\n"
                                         "keyUsage = critical, keyCertSign, cRLSign\n"
                                         "subjectKeyIdentifier = hash\n"
                                         "[server]\n"
                                         "basicConstraints = critical, CA:FALSE\n"
                                         "keyUsage = critical, digitalSignature\n"
                                         "extendedKeyUsage = serverAuth\n"
                                         "subjectAltName = DNS:localhost, IP:127.0.0.1\n"
                                         "subjectKeyIdentifier = hash\n"
                                         "authorityKeyIdentifier = keyid\n";

constexpr int processTimeoutMsecs = 30'000;

// P-256 keys take milliseconds to make, where RSA keys take noticeably longer.
const QStringList newKey = {QStringLiteral("-newkey"), QStringLiteral("ec"),
                            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                            QStringLiteral("-nodes")};

QSslConfiguration serverSide(const QSslCertificate &certificate, const QSslKey &key)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    return configuration;
}

} // namespace

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("No temporary directory: ") + m_dir.errorString();
        return;
    }
    QFile config(path(QStringLiteral("openssl.cnf")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(opensslConfig.data(), opensslConfig.size()) < 0) {
        m_error = QStringLiteral("Cannot write the openssl configuration");
        return;
    }
    config.close();

    if (!makeAuthority(QStringLiteral("ca"), QStringLiteral("Velmora Test CA")) ||
        !makeAuthority(QStringLiteral("untrusted-ca"),
                       QStringLiteral("Velmora Untrusted Test CA")) ||
        !makeLeaf(QStringLiteral("server"), QStringLiteral("ca"), m_trusted) ||
        !makeLeaf(QStringLiteral("untrusted-server"), QStringLiteral("untrusted-ca"), m_untrusted))
        return;

    const QString directory = caDirectory();
    if (!QDir().mkpath(directory) ||
        !QFile::copy(caFile(), directory + QStringLiteral("/ca.pem")) ||
        !run({QStringLiteral("rehash"), directory}))
        return;

    const QList<QSslCertificate> ca = QSslCertificate::fromPath(caFile());
    if (ca.size() != 1 || m_trusted.certificate.isNull() || m_trusted.key.isNull() ||
        m_untrusted.certificate.isNull() || m_untrusted.key.isNull()) {
        m_error = QStringLiteral("openssl made files Qt cannot read");
        return;
    }
    m_ca = ca.first();
}

QSslConfiguration TestCertificates::serverConfiguration() const
{
    return serverSide(m_trusted.certificate, m_trusted.key);
}

QSslConfiguration TestCertificates::untrustedServerConfiguration() const
{
    return serverSide(m_untrusted.certificate, m_untrusted.key);
}

void TestCertificates::trustInThisProcess() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(m_ca);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

QString TestCertificates::caFile() const
{
    return path(QStringLiteral("ca.pem"));
}

QString TestCertificates::caDirectory() const
{
    return path(QStringLiteral("ca-only"));
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess openssl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OPENSSL_CONF"), path(QStringLiteral("openssl.cnf")));
    openssl.setProcessEnvironment(environment);
    openssl.setWorkingDirectory(m_dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    const bool finished = openssl.waitForFinished(processTimeoutMsecs);
    if (finished && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0)
        return true;
    if (!finished)
        openssl.kill();
    m_error = QStringLiteral("openssl %1 failed: %2 %3")
                  .arg(arguments.join(QLatin1Char(' ')), openssl.errorString(),
                       QString::fromLocal8Bit(openssl.readAll()));
    return false;
}

bool TestCertificates::makeAuthority(const QString &name, const QString &commonName)
{
    return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509"),
                           QStringLiteral("-extensions"), QStringLiteral("authority"),
                           QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                           QStringLiteral("/CN=") + commonName, QStringLiteral("-keyout"),
                           name + QStringLiteral(".key"), QStringLiteral("-out"),
                           name + QStringLiteral(".pem")} +
               newKey);
}

bool TestCertificates::makeLeaf(const QString &name, const QString &authority, Leaf &leaf)
{
    const QString key = name + QStringLiteral(".key");
    const QString request = name + QStringLiteral(".csr");
    const QString certificate = name + QStringLiteral(".pem");
    // A fresh serial each run: issuer and serial together name a certificate.
    const QString serial = QString::number(QRandomGenerator::global()->generate64() >> 1);
    const bool made =
        run(QStringList{QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"), key,
                        QStringLiteral("-out"), request} +
            newKey) &&
        run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
             QStringLiteral("-CA"), authority + QStringLiteral(".pem"), QStringLiteral("-CAkey"),
             authority + QStringLiteral(".key"), QStringLiteral("-set_serial"), serial,
             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
             QStringLiteral("openssl.cnf"), QStringLiteral("-extensions"), QStringLiteral("server"),
             QStringLiteral("-out"), certificate});
    if (!made)
        return false;

    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path(certificate));
    QFile keyFile(path(key));
    if (certificates.size() != 1 || !keyFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot read %1 or %2").arg(certificate, key);
        return false;
    }
    leaf.certificate = certificates.first();
    leaf.key = QSslKey(&keyFile, QSsl::Ec);
    return true;
}

} // namespace velmora
