#include "checkreport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

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
        QTest::newRow("with a value") << QStringList{u"--selftest=1"_s} << false << false;
        QTest::newRow("upper case") << QStringList{u"--SELFTEST"_s} << false << false;
    }

    // The binary in a home of its own and without a session bus; stopped once it says it is on
    // its own (as the tray program does, running) or after 30 s. Only the tray program gets a
    // display, an offscreen one.
    void launchMode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, selfTest);
        QFETCH(bool, withoutNetwork);

        QStringList command = QStringList{QStringLiteral(VELMORA_BINARY)} + arguments;
        if (withoutNetwork) {
            command.prepend(u"--net"_s);
            command.prepend(QStandardPaths::findExecutable(u"unshare"_s));
            if (command[0].isEmpty() || QProcess::execute(command[0], {u"--net"_s, u"true"_s}))
                QSKIP("cannot make a network namespace here (needs root and unshare)");
        }
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        if (!selfTest)
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent"_s);
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.path());
        QProcess process;
        process.setProcessEnvironment(env);
        const QString program = command.takeFirst();
        process.start(program, command);
        QVERIFY(process.waitForStarted());
        QByteArray err;
        const bool running = QTest::qWaitFor(
            [&] {
                err += process.readAllStandardError();
                return process.state() != QProcess::Running || err.contains("no session bus");
            },
            30'000);
        QCOMPARE(running && process.state() == QProcess::Running, !selfTest);
        process.kill();
        process.waitForFinished();
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        err += process.readAllStandardError();
        if (!selfTest) { // the tray program, running on its own
            QVERIFY2(err.contains("no session bus"), err.constData());
            QCOMPARE(out, QString());
            return;
        }
        // Every check passes, then the verdict.
        QVERIFY2(QRegularExpression(u"^(PASS  [^\n]+\n){18}SELFTEST OK\n$"_s).match(out).hasMatch(),
                 qPrintable(out));
        QCOMPARE(err, QByteArray());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
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
