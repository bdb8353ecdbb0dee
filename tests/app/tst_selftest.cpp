#include "checkreport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The binary, run by wrapper if any, with no display to be had.
Run runVelmora(const QStringList &arguments, const QStringList &wrapper = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    QStringList command = wrapper + QStringList{QStringLiteral(VELMORA_BINARY)} + arguments;
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(30'000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// Every check passes, in this order, then the verdict.
const QString passingOutput = [] {
    QString out;
    for (const QString &check :
         {u"flag US"_s, u"flag DE"_s, u"flag IR"_s, u"flag TR (lowercase)"_s,
          u"flag invalid code"_s, u"parse ipwho.is"_s, u"ipwho.is success=false rejected"_s,
          u"parse ipapi.co"_s, u"Mbps 25MB/2s = 100"_s, u"Mbps 1.25MB/1s = 10"_s,
          u"Mbps zero duration"_s, u"rate 1.25MB/s = 10.0 Mb/s"_s, u"rate 1.26MB/s = 1.3 MB/s"_s,
          u"rate 512 B/s"_s, u"rate 2 Gb/s"_s, u"color hex round trip"_s,
          u"fallback to ipapi.co when primary fails"_s, u"error when all providers fail"_s})
        out += u"PASS  "_s + check + u'\n';
    return out + u"SELFTEST OK\n"_s;
}();

// Whether the tray program starts, and keeps running, for arguments. Offscreen and without a
// session bus, it says once that it is on its own, which tells that it got that far.
bool runsTrayProgram(const QStringList &arguments)
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent"_s);
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path());
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VELMORA_BINARY), arguments);
    process.waitForStarted();
    QByteArray err;
    QDeadlineTimer deadline(15'000);
    while (!err.contains("no session bus") && !deadline.hasExpired() &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    const bool running =
        process.state() == QProcess::Running && process.readAllStandardOutput().isEmpty();
    process.kill();
    process.waitForFinished();
    return running && err.contains("no session bus");
}

} // namespace

class TestSelfTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launchMode_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("selfTest");
        QTest::addColumn<bool>("withoutNetwork"); // in a network namespace of its own

        QTest::newRow("alone, without a network") << QStringList{u"--selftest"_s} << true << true;
        QTest::newRow("after others")
            << QStringList{u"-v"_s, u"velmora://open"_s, u"--selftest"_s} << true << false;
        QTest::newRow("before others") << QStringList{u"--selftest"_s, u"extra"_s} << true << false;
        QTest::newRow("with a value") << QStringList{u"--selftest=1"_s} << false << false;
        QTest::newRow("upper case") << QStringList{u"--SELFTEST"_s} << false << false;
        QTest::newRow("no arguments") << QStringList{} << false << false;
    }

    void launchMode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, selfTest);
        QFETCH(bool, withoutNetwork);

        QStringList wrapper;
        if (withoutNetwork) {
            wrapper = {QStandardPaths::findExecutable(u"unshare"_s), u"--net"_s};
            if (wrapper[0].isEmpty() || QProcess::execute(wrapper[0], {u"--net"_s, u"true"_s}))
                QSKIP("cannot make a network namespace here (needs root and unshare)");
        }
        const Run run = runVelmora(arguments, wrapper);
        if (selfTest) {
            QCOMPARE(run.out, passingOutput);
            QCOMPARE(run.err, QString());
            QCOMPARE(run.exitCode, 0);
        } else {
            QVERIFY2(runsTrayProgram(arguments), qPrintable(arguments.join(u' ')));
        }
    }

    void failuresAreCountedAndReported()
    {
        std::FILE *file = std::tmpfile();
        QVERIFY(file);
        velmora::CheckReport report(file);
        report.check(true, u"first"_s);
        report.check(false, u"rate 1.26MB/s = 1.3 MB/s"_s);
        report.check(false, u"rate 512 B/s"_s);
        QVERIFY(!report.finish());

        std::rewind(file);
        QByteArray printed(4096, '\0');
        printed.resize(qsizetype(std::fread(printed.data(), 1, size_t(printed.size()), file)));
        std::fclose(file);
        QCOMPARE(printed, "PASS  first\nFAIL  rate 1.26MB/s = 1.3 MB/s\nFAIL  rate 512 B/s\n"
                          "SELFTEST FAILED (2)\n");
    }
};

QTEST_GUILESS_MAIN(TestSelfTest)
#include "tst_selftest.moc"
