#pragma once

// Private namespaces, so tests can make links and routes with `ip` without touching the host.

#include <QFile>
#include <QProcess>
#include <QString>

#include <cerrno>
#include <cstring>

#include <sched.h>
#include <sys/mount.h>

namespace velmora::test {

// Why the process has no namespaces of its own; until empty, `ip` would change the host's network.
inline QString noPrivateNetwork = u"not entered"_qs;

// Call before any thread exists; empty on success, else why not.
inline QString enterPrivateNetwork()
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0)
        return noPrivateNetwork =
                   u"no private network namespace: "_qs + QString::fromLocal8Bit(strerror(errno));
    return noPrivateNetwork = QString();
}

// Runs commands, one a line, all even if some fail; empty if none failed, else what ip said.
inline QString ip(const QString &commands)
{
    if (!noPrivateNetwork.isEmpty())
        return u"refusing to run ip: "_qs + noPrivateNetwork;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(u"ip"_qs, {u"-force"_qs, u"-batch"_qs, u"-"_qs});
    process.write(commands.toUtf8());
    process.closeWriteChannel();
    const bool done = process.waitForFinished(10000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return done ? QString() : commands + QString::fromLocal8Bit(process.readAll());
}

// Mounts path over target in the private mount namespace, after writing content to it unless
// that is empty.
inline bool bindOver(const QString &path, const char *target, const QByteArray &content = {})
{
    QFile file(path);
    return (content.isEmpty() ||
            (file.open(QIODevice::WriteOnly) && file.write(content) == content.size())) &&
           mount(QFile::encodeName(path).constData(), target, nullptr, MS_BIND, nullptr) == 0;
}

} // namespace velmora::test

#define VERIFY_IP(commands)                                                                        \
    do {                                                                                           \
        const QString ipError = velmora::test::ip(commands);                                       \
        QVERIFY2(ipError.isEmpty(), qPrintable(ipError));                                          \
    } while (false)
