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
    int exitCode = -1; // also while it still runs
    QString out;
    QString err;
};

// The binary, run by wrapper if any, in a home of its own and without a session bus; stopped
// once it says it is on its own (as the tray program does, running) or after 30 s. Only the
// tray program gets a display, an offscreen one.
Run runVelmora(const QStringList &arguments, const QStringList &wrapper, bool display)
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (display)
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent"_s);
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path());
    process.setProcessEnvironment(env);
    QStringList command = wrapper + QStringList{QStringLiteral(VELMORA_BINARY)} + arguments;
    process.start(command.takeFirst(), command);
    process.waitForStarted();
    QByteArray err;
    const bool running =
        QTest::qWaitFor(
            [&] {
                err += process.readAllStandardError();
                return process.state() != QProcess::Running || err.contains("no session bus");
            },
            30'000) &&
        process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished();
    return {running || process.exitStatus() != QProcess::NormalExit ? -1 : process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(err + process.readAllStandardError())};
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
        const Run run = runVelmora(arguments, wrapper, !selfTest);
        QCOMPARE(run.out, selfTest ? passingOutput : QString());
        if (selfTest) {
            QCOMPARE(run.err, QString());
            QCOMPARE(run.exitCode, 0);
        } else { // the tray program, running on its own
            QCOMPARE(run.exitCode, -1);
            QVERIFY2(run.err.contains(u"no session bus"_s), qPrintable(run.err));
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
