#pragma once

// Namespaces of the test process's own, so that tests make interfaces and routes with `ip`
// without touching the machine's network.

#include <QProcess>
#include <QString>

#include <cerrno>
#include <cstring>

#include <sched.h>
#include <sys/mount.h>

namespace velmora::test {

// Set once the process has its own namespaces; until then `ip` must never run, or it would
// change the machine's own network.
inline bool inPrivateNetwork = false;

// Call before any thread exists; empty on success, else why not. A fresh sysfs shows the
// new namespace's interfaces under /sys/class/net.
inline QString enterPrivateNetwork()
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0)
        return u"no private network namespace: "_qs + QString::fromLocal8Bit(strerror(errno));
    inPrivateNetwork = true;
    return {};
}

// Runs `ip <options> -batch -` with commands, one a line; empty on success, else why not.
inline QString ip(const QString &commands, const QStringList &options = {})
{
    if (!inPrivateNetwork)
        return u"refusing to run ip outside a private network namespace"_qs;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(u"ip"_qs, options + QStringList{u"-batch"_qs, u"-"_qs});
    process.write(commands.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        return u"ip failed (%1) for\n%2\n%3"_qs.arg(process.errorString(), commands,
                                                    QString::fromLocal8Bit(process.readAll()));
    }
    return {};
}

} // namespace velmora::test

#define VERIFY_IP(commands)                                                                        \
    do {                                                                                           \
        const QString ipError = velmora::test::ip(commands);                                       \
        QVERIFY2(ipError.isEmpty(), qPrintable(ipError));                                          \
    } while (false)
